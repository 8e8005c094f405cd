"""The rights the updater asks of the host's objects, end to end. An elevated
host's events and process refuse a normal updater everything but what their
security allows; the host stand-in's --narrow-rights gives its objects such a
security: others may only set or wait on its events and only wait for its
process. The updater must still make the host exit, wait for it and restart
it, and the host must still be able to close the updater."""

import unittest

from faults_common import Facts, FaultCase, new_release, publish


class Doors(FaultCase):
    suite = "doors"

    def test_finish_with_a_host_whose_objects_allow_only_set_and_wait(self):
        new = new_release(self.installed, ["Corvane", "Nirvek"])
        publish(self.server, new, self.installed)
        watched, host = self.run_dialog(mode=2, host_args=("--narrow-rights",), host_timeout=60)
        facts = Facts()
        facts.expect(host.has("start"), "the host did not start: %s" % host.events)
        self.expect_installed(facts, watched, host, new, attempts=1)
        facts.expect(host.has("exit-event-set"), "the host was not told to exit")
        self.record("Finish with an elevated host's exit event and process",
                    done="mode 2; the host's exit event grants others only the right to set it "
                         "and to wait on it, its process only the right to wait for it; Finish "
                         "after the update succeeded",
                    expected="the updater opens the event to set it and the process to wait for "
                             "it: the host exits, then the modules are installed and the host "
                             "restarted",
                    facts=facts, new=new, happened=self.describe(watched, host, new),
                    mend="both were opened with full access, which failed: the host was never "
                         "told to exit and the modules were replaced under the running host; "
                         "each is now opened with the one right used")

    def test_the_host_closes_the_updater_through_its_narrowed_event(self):
        host = self.folder.run_host("--mode", "1", "--url", self.base, "--narrow-rights",
                                    "--updater-exit-after", "3000", "--exit-with-updater",
                                    "--timeout", "30000", timeout=45)
        facts = Facts()
        facts.expect(host.has("updater-exit-event-set"), "the host did not set the event")
        facts.expect(host.updater_exit_code() == 0,
                     "the updater did not end after the event: %s" % host.events)
        facts.expect(not host.has("timeout"), "the host gave up waiting")
        self.record("the host closes the updater through an event it made first",
                    done="mode 1; the host makes *_UPDATER_EXIT_* before it starts the updater, "
                         "granting others only the rights to set it and wait on it, and sets it "
                         "after 3 s",
                    expected="the updater opens the event to wait on it and closes when it is "
                             "set",
                    facts=facts, happened=self.describe(host=host, count_attempts=False),
                    mend="the updater opened the host's event with full access, which failed, "
                         "so the host could no longer close it; it now asks only to wait")
        self.assertEqual([], self.leftovers())


if __name__ == "__main__":
    unittest.main()
