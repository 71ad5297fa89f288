#!/usr/bin/python3
# Stand-in for ansible.windows.win_reboot: a line "reboot" in $FAKE_WINDOWS/actions.log.
import os

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(argument_spec=dict(msg=dict(type="str")), supports_check_mode=True)
    with open(os.path.join(os.environ["FAKE_WINDOWS"], "actions.log"), "a", encoding="utf-8") as f:
        f.write("reboot\n")
    module.exit_json(changed=True, rebooted=True)


if __name__ == "__main__":
    main()
