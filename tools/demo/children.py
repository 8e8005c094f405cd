"""Helper programs (nginx, Xvfb) that end with the demo: each is started as a
direct child that the kernel sends SIGTERM when the demo's process dies, even
when it is killed outright, so that no server outlives an interrupted run."""

import ctypes
import os
import signal
import subprocess

_PR_SET_PDEATHSIG = 1


def _die_with_parent(parent):
    def preexec():
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)
        if os.getppid() != parent:  # the parent died before prctl took effect
            os._exit(1)

    return preexec


def start(command, **popen_args):
    """Popen of `command` with no input and the death signal set."""
    return subprocess.Popen(command, stdin=subprocess.DEVNULL,
                            preexec_fn=_die_with_parent(os.getpid()), **popen_args)


def stop(process, grace=5):
    """Ends `process` with SIGTERM, or SIGKILL after `grace` seconds; returns
    its exit code. A process that has already ended is only reaped."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return process.returncode
