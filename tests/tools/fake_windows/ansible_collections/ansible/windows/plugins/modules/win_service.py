#!/usr/bin/python3
# Stand-in for ansible.windows.win_service: each call is a line "service NAME STATE" in
# $FAKE_WINDOWS/actions.log.
import os

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(argument_spec=dict(
        name=dict(type="str", required=True), state=dict(type="str"),
        force_dependent_services=dict(type="bool", default=False)), supports_check_mode=True)
    with open(os.path.join(os.environ["FAKE_WINDOWS"], "actions.log"), "a", encoding="utf-8") as f:
        f.write(f"service {module.params['name']} {module.params['state']}"
                f"{' with dependents' if module.params['force_dependent_services'] else ''}\n")
    module.exit_json(changed=True)


if __name__ == "__main__":
    main()
