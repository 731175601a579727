"""What the end-to-end stages share about a served till: the metrics service's command run as the
timer runs it, waiting for a server's answer, and the fan register the stages slow down."""
import json
import socket
import subprocess
import threading
import time

# Where the service writes on a till, and keeps the pass for the checks.
TEXTFILE_DIR = "/var/lib/prometheus/node-exporter"
STATE_DIR = "/var/lib/qelsensors"


class Failure(Exception):
    pass


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def service_command(service_file, qelsensors, textfile_dir, state_dir):
    """The service's ExecStart, with this build's tool, writing into private directories."""
    with open(service_file) as f:
        line = next(l for l in f if l.startswith("ExecStart="))
    words = line[len("ExecStart="):].split()
    if not words[0].endswith("/qelsensors"):
        raise Failure(f"{service_file}: ExecStart does not run qelsensors: {line.strip()}")
    return [qelsensors] + [w.replace(TEXTFILE_DIR, textfile_dir).replace(STATE_DIR, state_dir) for w in words[1:]]


class Writer(threading.Thread):
    """Runs the service's command every second; `lock` keeps it away while registers change."""

    def __init__(self, command, env):
        super().__init__(daemon=True)
        self.command, self.env = command, env
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.runs = 0
        self.errors = []

    def run(self):
        while not self.stop.is_set():
            with self.lock:
                r = subprocess.run(self.command, env=self.env, capture_output=True, text=True)
            # 3, 4, 5: a reading beyond a limit, the files written all the same.
            if r.returncode not in (0, 3, 4, 5):
                self.errors.append(f"exit {r.returncode}: {r.stderr.strip()}")
            self.runs += 1
            self.stop.wait(1)


def wait_for(what, bound, probe):
    """Polls probe() until it returns something true; returns it and the seconds it took."""
    start = time.monotonic()
    last_error = None
    while time.monotonic() - start < bound:
        try:
            result = probe()
            if result:
                return result, time.monotonic() - start
        except (OSError, ValueError) as e:  # not listening yet, or a half-started server
            last_error = e
        time.sleep(0.2)
    raise Failure(f"{what}: not within {bound} s" + (f" (last error: {last_error})" if last_error else ""))


class Fan:
    """The first fan of a profile's EC: its index port, register (its high byte) and name."""

    def __init__(self, qelsim, root, profile_path):
        with open(profile_path) as f:
            chip = json.load(f)["chips"][0]
        fan = next(s for s in chip["sensors"] if s["kind"] == "fan")
        self.qelsim, self.root, self.name = qelsim, root, fan["description"]
        self.index, self.register = int(chip["indexPort"], 16), int(fan["oem"], 16) & 0xFF
        ports = subprocess.run(self.accesses([None, None]), check=True, capture_output=True, text=True).stdout.split()
        self.healthy = [ports[1], ports[3]]  # "0x0a01 0x0a" per read

    def accesses(self, values):
        data = self.index + 1
        return [self.qelsim, "port", self.root] + [
            a for offset, value in enumerate(values)
            for a in (f"0x{self.index:X}=0x{self.register + offset:X}", f"0x{data:X}" + (f"={value}" if value else ""))]

    def slow(self):
        """300 rpm, below the fan's critical limit (the driver floors so slow a fan to 0 rpm)."""
        subprocess.run(self.accesses(["0x01", "0x2C"]), check=True, stdout=subprocess.DEVNULL)

    def restore(self):
        subprocess.run(self.accesses(self.healthy), check=True, stdout=subprocess.DEVNULL)
