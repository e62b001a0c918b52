# A one-node Slurm cluster started by hand, for tests and benchmarks: sourced, not run.
#
#   slurm_install            installs Debian's Slurm and MUNGE when they are missing
#   slurm_start WORK         munged, slurmctld and slurmd on free private ports, every file of
#                            theirs in WORK; exports SLURM_CONF; waits until the node is idle
#   slurm_stop WORK          stops the three by the process ids they wrote (never by name)

slurm_install() {
    local missing="" package sudo=""
    for package in slurmctld slurmd slurm-client munge; do
        dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
    done
    [ -z "$missing" ] && return 0
    echo "installing$missing"
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing \
        >/dev/null
}

slurm_start() {
    local work=$1 ctld_port slurmd_port host
    mkdir -p "$work"/{munge,state,spool}
    # Ports nobody listens on now.
    read -r ctld_port slurmd_port < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(2)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])')
    host=$(hostname -s)

    mungekey -c -k "$work/munge/munge.key" >/dev/null 2>&1
    munged -S "$work/munge/munge.socket" --key-file="$work/munge/munge.key" \
        --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
        --seed-file="$work/munge/munged.seed" -f || return 1

    cat >"$work/slurm.conf" <<CONF
ClusterName=quillontest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge/munge.socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
ReturnToService=2
MailProg=/bin/true
KillWait=10
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=2 RealMemory=20000 State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
    export SLURM_CONF="$work/slurm.conf"
    slurmctld -f "$SLURM_CONF" || return 1
    slurmd -f "$SLURM_CONF" || return 1
    for _ in $(seq 150); do
        [ "$(sinfo -h -o %T 2>/dev/null)" = idle ] && return 0
        sleep 0.2
    done
    echo "the Slurm node never became idle" >&2
    return 1
}

slurm_stop() {
    local work=$1 pidfile pid
    for pidfile in "$work/slurmd.pid" "$work/slurmctld.pid" "$work/munge/munged.pid"; do
        [ -s "$pidfile" ] || continue
        pid=$(cat "$pidfile")
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    done
}
