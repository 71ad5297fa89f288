#!/usr/bin/python3
# Stand-in for ansible.windows.win_regedit: the "registry" is a JSON file ($FAKE_WINDOWS/registry.json)
# of "path\name" to data; changed exactly when the value differs, as the real module reports.
import json
import os

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(argument_spec=dict(
        path=dict(type="str", required=True), name=dict(type="str"), data=dict(type="raw"),
        type=dict(type="str"), state=dict(type="str", default="present")), supports_check_mode=True)
    store = os.path.join(os.environ["FAKE_WINDOWS"], "registry.json")
    with open(store, encoding="utf-8") as f:
        registry = json.load(f)
    where = module.params["path"] + "\\" + (module.params["name"] or "")
    if module.params["state"] == "absent":
        changed = where in registry
        registry.pop(where, None)
    else:
        changed = registry.get(where) != int(module.params["data"])
        registry[where] = int(module.params["data"])
    if changed and not module.check_mode:
        with open(store, "w", encoding="utf-8") as f:
            json.dump(registry, f)
    module.exit_json(changed=changed)


if __name__ == "__main__":
    main()
