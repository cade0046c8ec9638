#!/usr/bin/python3
"""Runs a program under the restrictions that nimbrel.service asks systemd for, applied
without systemd: for a machine, or a CI runner, where systemd does not run.

    restrict.py STATE_DIRECTORY PROGRAM [ARGUMENT...]

Run it as root inside new mount and network namespaces (unshare --mount --net). It makes
the file system read-only but for STATE_DIRECTORY (ProtectSystem=strict), mounts empty
file systems on /tmp, /var/tmp, /home, /root and /run/user (PrivateTmp, ProtectHome),
runs the program as an unprivileged user and group made up for it (DynamicUser), without
capabilities (CapabilityBoundingSet=) or new privileges (NoNewPrivileges), under a system
call filter (a seccomp filter: the privileged and resource calls of SystemCallFilter,
RestrictAddressFamilies=AF_INET AF_UNIX, MemoryDenyWriteExecute, RestrictNamespaces), in
STATE_DIRECTORY as its working directory, with UMask=0077. Not applied: PrivateDevices,
PrivateUsers, the Protect*Kernel* settings and the IP address list, which need systemd.
"""
import ctypes
import os
import sys

import seccomp

UID = GID = 61234  # as systemd picks for a dynamic user: 61184 to 65519

libc = ctypes.CDLL(None, use_errno=True)


def mount(source, target, kind, flags, data=None):
    if libc.mount(source.encode(), target.encode(), kind.encode() if kind else None, flags,
                  data.encode() if data else None) != 0:
        sys.exit(f"restrict: mount {target}: {os.strerror(ctypes.get_errno())}")


MS_RDONLY, MS_REMOUNT, MS_BIND, MS_REC, MS_PRIVATE = 1, 32, 4096, 16384, 1 << 18
PR_SET_NO_NEW_PRIVS, PR_CAPBSET_DROP = 38, 24


def main():
    state, program = os.path.abspath(sys.argv[1]), sys.argv[2:]
    os.makedirs(state, exist_ok=True)
    os.chown(state, UID, GID)
    mount("none", "/", None, MS_REC | MS_PRIVATE)
    for top in sorted(os.listdir("/")):
        path = "/" + top
        if top not in ("dev", "proc", "sys") and os.path.isdir(path) and not os.path.islink(path):
            mount(path, path, None, MS_BIND | MS_REC)
            mount("none", path, None, MS_REMOUNT | MS_BIND | MS_RDONLY)
    mount(state, state, None, MS_BIND)
    mount("none", state, None, MS_REMOUNT | MS_BIND)  # a bind keeps the read-only flag
    for empty, mode in (("/tmp", "1777"), ("/var/tmp", "1777"), ("/home", "0755"),
                        ("/root", "0700"), ("/run/user", "0755")):
        if os.path.isdir(empty):
            mount("tmpfs", empty, "tmpfs", 0, "mode=" + mode)
    for capability in range(64):
        libc.prctl(PR_CAPBSET_DROP, capability, 0, 0, 0)
    os.setgroups([])
    os.setgid(GID)
    os.setuid(UID)
    libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0)

    denied = seccomp.SyscallFilter(defaction=seccomp.ALLOW)
    for call in ("mount", "umount2", "pivot_root", "chroot", "reboot", "swapon", "swapoff",
                 "init_module", "finit_module", "delete_module", "kexec_load", "kexec_file_load",
                 "ptrace", "process_vm_writev", "acct", "settimeofday", "clock_settime",
                 "adjtimex", "sethostname", "setdomainname", "iopl", "ioperm", "bpf",
                 "perf_event_open", "unshare", "setns", "setuid", "setgid", "setreuid",
                 "setregid", "setresuid", "setresgid", "setgroups", "setpriority",
                 "sched_setscheduler", "sched_setparam", "setrlimit", "mlockall", "quotactl"):
        denied.add_rule(seccomp.ERRNO(1), call)
    # Sockets of no other family than IPv4 and local ones.
    denied.add_rule(seccomp.ERRNO(97), "socket", seccomp.Arg(0, seccomp.EQ, 0))  # AF_UNIX is 1
    denied.add_rule(seccomp.ERRNO(97), "socket", seccomp.Arg(0, seccomp.GE, 3))  # AF_INET 2
    # No memory both writable and executable (PROT_WRITE 2, PROT_EXEC 4).
    for call, argument in (("mmap", 2), ("mprotect", 2), ("pkey_mprotect", 2)):
        denied.add_rule(seccomp.ERRNO(1), call, seccomp.Arg(argument, seccomp.MASKED_EQ, 6, 6))
    denied.load()

    os.umask(0o077)
    os.chdir(state)
    os.execv(program[0], program)


main()
