#!/usr/bin/python3
# Stand-in for ansible.windows.setup: the Windows major version is $FAKE_WINDOWS_MAJOR.
import os

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(argument_spec=dict(gather_subset=dict(type="list", elements="str")),
                           supports_check_mode=True)
    module.exit_json(changed=False, ansible_facts={
        "distribution_major_version": os.environ["FAKE_WINDOWS_MAJOR"]})


if __name__ == "__main__":
    main()
