#!/usr/bin/python3
# Stand-in for ansible.windows.win_service_info: the services of $FAKE_WINDOWS/services.json.
import json
import os

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(argument_spec=dict(name=dict(type="str")), supports_check_mode=True)
    with open(os.path.join(os.environ["FAKE_WINDOWS"], "services.json"), encoding="utf-8") as f:
        services = json.load(f)
    if module.params["name"]:
        services = [s for s in services if s["name"] == module.params["name"]]
    module.exit_json(changed=False, exists=bool(services), services=services)


if __name__ == "__main__":
    main()
