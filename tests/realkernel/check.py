#!/usr/bin/env python3
"""What the guest of tests/realkernel/run must show, worked out here from the machine profile.

    check.py cmos PROFILE                              the qel.cmos= value that loads the EC
    check.py check SCENARIO PROFILE RESULTS STATUS     judges one boot (STATUS: QEMU's exit status)

The register rules, threshold units and event-log lines are written down here once more, from the
chips' documentation and the BIOS's log format; nothing here runs the project's code.
"""
import json
import re
import sys

RTC_INDEX_PORT = 0x70
HANDLE_BASE = 0xE000  # qelsim blobs' default
EVENT_LOG_ADDRESS = 0x08000000
EXIT_DONE = (0x10 << 1) | 1  # isa-debug-exit after the init wrote 0x10
EXIT_POWER_OFF = 0

STATUS = {"not initialised": 1, "hardware monitor error": 5}


def number(value):
    return int(value, 0) if isinstance(value, str) else int(value)


def registers(chip):
    """The EC's register bytes: {"0x93": ["0x03", "0x5C"]} fills 0x93 and 0x94."""
    out = {}
    for reg, value in chip.get("registers", {}).items():
        values = value if isinstance(value, list) else [value]
        for i, v in enumerate(values):
            out[number(reg) + i] = number(v)
    return out


def cmos_pairs(profile):
    pairs = []
    for chip in profile["chips"]:
        if chip["kind"] == "IT5571" and number(chip["indexPort"]) == RTC_INDEX_PORT:
            # CMOS RAM takes the index modulo 128.
            pairs += ["%x:%x" % (reg & 0x7F, value) for reg, value in sorted(registers(chip).items())]
    return ",".join(pairs)


# The first-generation EC ("IT 5571"): millivolts and whole degrees, the fan as a tachometer
# count (2150000 / count rpm, nothing below 301). The second ("ITE IT5571"): 10-bit ADC words of
# a 3.0 V scale behind 2x (5 V, 3.3 V) and 11x (12 V) dividers, the fan in rpm. Words are big-
# endian pairs; a Vcore word whose low byte is 0xFF is the ADC's peak mark and reads 0.
def reading(description, kind, reg, regs):
    byte = lambda r: regs.get(r, 0)
    word = (byte(reg) << 8) | byte(reg + 1)
    if kind == "temperature":
        return byte(reg)
    if description == "IT 5571":
        if kind == "fan":
            return 0 if word < 301 else 2150000 // word
        if reg == 0x95 and word & 0xFF == 0xFF:
            return 0
        return word
    if description == "ITE IT5571":
        if kind == "fan":
            return 0 if word < 301 else word
        if reg == 0x95 and word & 0xFF == 0xFF:
            return 0
        ratio = {0x95: (3000, 1023), 0x97: (60000, 10230), 0x9F: (60000, 10230), 0x99: (3000, 1023),
                 0x9B: (3000, 1023), 0x9D: (330000, 10230)}[reg]
        return word * ratio[0] // ratio[1]
    raise ValueError("no rules for " + description)


UNKNOWN = 0x8000
LIMITS = [("lowerNonCritical", "lowerNonCritical"), ("upperNonCritical", "upperNonCritical"),
          ("lowerCritical", "lowerCritical"), ("upperCritical", "upperCritical"),
          ("lowerFatal", "lowerNonRecoverable"), ("upperFatal", "upperNonRecoverable")]


def in_unit(kind, value):
    """A reading or SMBIOS limit as the tool shows it: volts, degrees C (the BIOS gives tenths), RPM."""
    if value is None:
        return None
    return {"voltage": value / 1000, "temperature": value, "fan": value}[kind]


def expected_sensors(profile):
    chips = []
    for chip in profile["chips"]:
        regs = registers(chip)
        sensors = []
        for s in chip["sensors"]:
            reg = number(s["oem"]) & 0xFF
            value = reading(chip["description"], s["kind"], reg, regs)
            limits = {}
            for name, key in LIMITS:
                raw = s.get("thresholds", {}).get(key)
                raw = None if raw is None or number(raw) == UNKNOWN else number(raw)
                if raw is not None and s["kind"] == "temperature":
                    raw //= 10
                limits[name] = raw
            level = "ok"
            for word, lower, upper in (("fatal", "lowerFatal", "upperFatal"),
                                       ("critical", "lowerCritical", "upperCritical"),
                                       ("warning", "lowerNonCritical", "upperNonCritical")):
                lo, hi = limits[lower], limits[upper]
                if (lo is not None and value < lo) or (hi is not None and value > hi):
                    level = word
                    break
            nominal = None if "nominal" not in s else number(s["nominal"])
            if nominal is not None and s["kind"] == "temperature":
                nominal //= 10
            sensors.append({"name": s["description"], "kind": s["kind"], "reading": value,
                            "nominal": in_unit(s["kind"], nominal),
                            "value": in_unit(s["kind"], value), "status": level,
                            "limits": {k: in_unit(s["kind"], v) for k, v in limits.items()}})
        chips.append({"description": chip["description"], "address": number(chip.get("indexPort", 0)),
                      "sensors": sensors})
    return chips


def expected_log_lines(profile):
    """The sample till log (sim/EventLogArea.cpp), as the BIOS's decoder words each record."""
    probe = profile["eventLog"]["sample"]["probe"]
    kind = next(s["kind"] for c in profile["chips"] for s in c["sensors"] if s["description"] == probe)
    units = {"voltage": " mV ", "temperature": " degrees C ", "fan": " RPM "}[kind]

    def limit(time, severity, change, count, value):
        return ("System Limit Exceeded:2022-06-14:%s:%s:HWMON:%s transitioned from %s condition - "
                "Multiple-event count=%d:Snapshot reading %d%s" % (time, severity, probe, change, count, value,
                                                                    units))

    return ["Log Area Reset/Cleared:2022-03-01:08.00.00:Information:BIOS::",
            "System boot:2022-03-01:08.00.12:Information:BIOS::",
            "POST Error:2022-03-09:07.58.40:Warning:POST:CMOS Battery Failure; CMOS Time Not Set::",
            "System boot:2022-03-09:07.58.51:Information:BIOS::",
            "Hard-disk information:2022-03-09:07.58.53:Information:SATA:Hard Disk 0:SSD 128GB SMART OK",
            limit("13.05.20", "Error", "within-limit to out-of-limit", 1, 4650),
            limit("13.09.02", "Information", "out-of-limit to within-limit", 3, 2210),
            "Single-bit ECC memory error:2022-07-02:18.44.07:Warning:MEMORY::",
            "System boot:2022-07-03:07.59.30:Information:BIOS::"]


class Results:
    """The sections the guest's init wrote: @@@ BEGIN name / @@@ STDERR name / @@@ END name rc=N."""

    def __init__(self, text):
        self.text = text
        self.sections = {}
        for m in re.finditer(r"^@@@ BEGIN (\S+)\n(.*?)^@@@ STDERR \1\n(.*?)^@@@ END \1 rc=(\d+)$", text,
                             re.M | re.S):
            self.sections[m.group(1)] = (m.group(2), m.group(3), int(m.group(4)))

    def out(self, name):
        return self.sections[name][0]

    def err(self, name):
        return self.sections[name][1]

    def rc(self, name):
        return self.sections[name][2]

    def json(self, name):
        return json.loads(self.out(name))


class Checker:
    def __init__(self, scenario):
        self.scenario = scenario
        self.failures = 0

    def expect(self, condition, what, detail=""):
        if condition:
            return True
        self.failures += 1
        print("  FAIL %s: %s%s" % (self.scenario, what, ("\n        " + str(detail)) if detail != "" else ""))
        return False

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, what, "got %r, expected %r" % (actual, expected))


def close(a, b):
    if a is None or b is None:
        return a is b
    return abs(a - b) < 1e-9


def check_sensors(c, r, profile):
    expected = expected_sensors(profile)
    worst = max((s["status"] for chip in expected for s in chip["sensors"]),
                key=["ok", "warning", "critical", "fatal"].index)
    c.equal(r.rc("sensors-json"), {"ok": 0, "warning": 3, "critical": 4, "fatal": 5}[worst],
            "qelsensors --json exit status")
    doc = r.json("sensors-json")
    c.equal(doc.get("status"), worst, "overall status")
    chips = doc.get("chips", [])
    if not c.equal(len(chips), len(expected), "number of chips"):
        return
    for device, (got, want) in enumerate(zip(chips, expected)):
        c.equal(got["device"], device, "device index")
        c.equal(got["description"], want["description"], "chip description")
        c.equal(got["address"], want["address"], "chip address")
        c.equal(got["addressType"], 3, "chip address type")
        by_name = {s["name"]: s for s in got["sensors"]}
        c.equal(sorted(by_name), sorted(s["name"] for s in want["sensors"]), "sensor names")
        for w in want["sensors"]:
            g = by_name.get(w["name"])
            if g is None:
                continue
            c.equal(g["handle"] >> 16, device, w["name"] + ": device in its handle")
            c.expect(g["smbiosHandle"] >= HANDLE_BASE, w["name"] + ": SMBIOS handle from the blobs",
                     g["smbiosHandle"])
            c.equal(g["reading"], w["reading"], w["name"] + ": reading")
            c.expect(close(g["value"], w["value"]), w["name"] + ": value", (g["value"], w["value"]))
            c.equal(g["status"], w["status"], w["name"] + ": status")
            c.expect(close(g["nominal"], w["nominal"]), w["name"] + ": nominal", (g["nominal"], w["nominal"]))
            for name, value in w["limits"].items():
                c.expect(close(g["limits"][name], value), "%s: limit %s" % (w["name"], name),
                         (g["limits"][name], value))
    # The table for people says the same.
    text = r.out("sensors")
    for w in expected[0]["sensors"]:
        c.expect(re.search(r"^  %s: .* %s\b" % (re.escape(w["name"]), w["status"]), text, re.M),
                 w["name"] + ": line of the table", text)


def check_sel(c, r, profile):
    lines = expected_log_lines(profile)
    c.equal(r.rc("sel-json"), 0, "qelsensors sel --json exit status")
    doc = r.json("sel-json")
    c.equal(doc.get("events"), lines, "decoded events")
    c.equal(doc.get("sensorNames"), True, "events name their sensor")
    c.equal(doc.get("valid"), True, "log valid")
    location = doc.get("location") or {}
    c.equal(location.get("address"), EVENT_LOG_ADDRESS, "Type 15 area address")
    c.equal(location.get("type15Handle"), HANDLE_BASE + 0x10, "Type 15 handle")
    c.equal(r.rc("sel"), 0, "qelsensors sel exit status")
    c.expect(all("  " + line + "\n" in r.out("sel") for line in lines), "sel text lists every event", r.out("sel"))


def check_sel_events(c, r, profile):
    c.equal(r.rc("sel-json"), 0, "sel exit status")
    expected = expected_log_lines(profile)
    events = r.json("sel-json").get("events") or []
    c.equal(len(events), len(expected), "as many events as from memory")
    # Where the chip does not start, limit events name their probe by handle; every other line is the same.
    c.equal([e for e in events if "Limit Exceeded" not in e], [e for e in expected if "Limit Exceeded" not in e],
            "decoded events")


def check_smbios(c, r, profile, found_through):
    c.equal(r.rc("smbios-json"), 0, "qelsensors smbios exit status")
    doc = r.json("smbios-json")
    c.equal(doc["entryPoint"]["foundThrough"], found_through, "entry point found through")
    c.equal(doc["entryPoint"]["checksumOk"], True, "entry point checksum")
    c.equal(doc["bios"]["version"], profile["bios"]["version"], "BIOS version (first structure)")
    first = doc["structures"][0] if doc["structures"] else {}
    c.equal((first.get("type"), first.get("handle")), (0, HANDLE_BASE), "the table begins with our Type 0")


def check_cim(c, r, profile, log_readable):
    want = expected_sensors(profile)
    names = sorted(s["name"] for chip in want for s in chip["sensors"])
    c.equal(r.rc("cim-sensors"), 0, "cim enumerate PXT_NumericSensor exit status")
    doc = r.json("cim-sensors")
    instances = doc.get("instances", [])
    # Name is "DESCRIPTION(HANDLE)", the handle in eight hex digits.
    named = [re.match(r"^(.*)\(([0-9A-Fa-f]{8})\)$", i["properties"].get("Name", "")) for i in instances]
    c.equal(sorted(m.group(1) if m else None for m in named), names, "PXT_NumericSensor instances")
    readings = {s["name"]: s["reading"] for chip in want for s in chip["sensors"]}
    for m, i in zip(named, instances):
        if m and m.group(1) in readings:
            c.equal(i["properties"].get("CurrentReading"), readings[m.group(1)], m.group(1) + ": CIM CurrentReading")
            c.expect(int(m.group(2), 16) >= HANDLE_BASE, m.group(1) + ": handle in the CIM name", m.group(2))
    if log_readable:
        check_cim_log(c, r, profile)


def check_cim_log(c, r, profile):
    c.equal(r.rc("cim-log"), 0, "cim enumerate PXT_SystemEventLog exit status")
    log = r.json("cim-log").get("instances", [])
    if c.equal(len(log), 1, "PXT_SystemEventLog instances"):
        c.equal(log[0]["properties"].get("LogLines"), expected_log_lines(profile), "PXT_SystemEventLog LogLines")


def check(scenario, profile, results_text, status):
    c = Checker(scenario)
    r = Results(results_text)
    if not c.expect("@@@ DONE" in results_text, "the guest's init finished", results_text[-800:]):
        return c.failures
    c.equal(status, EXIT_POWER_OFF if scenario.endswith("lockdown") else EXIT_DONE, "QEMU exit status")
    missing = [s for s in ("sensors-json", "sensors", "sel-json", "sel", "smbios-json", "cim-sensors", "cim-log",
                                "library-log") if s not in r.sections]
    if not c.equal(missing, [], "sections of the results"):
        return c.failures

    if scenario in ("seabios", "ovmf", "ram-log"):
        # Before the RTC driver was taken off its ports, the chip behind them was left alone.
        c.equal(r.rc("claimed"), 1, "qelsensors exit status while the RTC driver holds the EC's ports")
        c.expect(re.search(r"the kernel's \S+ driver owns this chip \(ports 0x0070-0x00\w\w\)", r.err("claimed")),
                 "qelsensors names the kernel driver that holds the ports", r.err("claimed"))
    if scenario in ("seabios", "ovmf"):
        c.expect("failed=0" in results_text, "CMOS bytes written through /dev/port")
        check_sensors(c, r, profile)
        check_sel(c, r, profile)
        check_smbios(c, r, profile, "uefi" if scenario == "ovmf" else "legacy")
        check_cim(c, r, profile, True)
    elif scenario == "ram-log":
        # Ordinary RAM: /dev/mem refuses the area, the sensors do not care.
        check_sensors(c, r, profile)
        check_cim(c, r, profile, False)
        # /dev/mem refuses the area; dmi-sysfs reads it for us.
        check_sel_events(c, r, profile)
        log = r.out("library-log")
        c.expect("mmap evlog failed, errno=0x00000001" in log, "the library logs the refused mapping", log[-1500:])
    elif scenario == "lockdown":
        c.expect(re.search(r"^@@@ KERNEL .* lockdown: .*\[integrity\]", results_text, re.M),
                 "the kernel is locked down", results_text[:500])
        # The kernel refuses /dev/mem and /dev/port; its own copies of the table and the log stand in.
        check_smbios(c, r, profile, "legacy")
        c.equal(r.json("smbios-json")["entryPoint"].get("readFrom"), "sysfs", "the table read from sysfs")
        # The log as unlocked, limit events naming their sensor from the table though the chip is not read.
        check_sel(c, r, profile)
        # The EC has no kernel driver: its sensors cannot be read, and the tool says why. Here the
        # RTC standing in for it is rtc0's in /proc/ioports, which the tool names first.
        c.equal(r.rc("sensors-json"), 1, "sensors exit status")
        message = r.json("sensors-json").get("error", {}).get("message", "")
        c.expect(("refuses /dev/port" in message and "Linux has no driver for this chip" in message)
                 or "the kernel's rtc0 driver owns this chip" in message, "sensors say why they cannot be read",
                 message)
        c.expect("failed=1" in results_text, "/dev/port refused to the init as well")
        # The provider publishes the event log as unlocked and refuses the sensors it cannot read.
        c.expect(r.rc("cim-sensors") == 1 and "CMPI status 16 " in r.err("cim-sensors"), "cim-sensors fails cleanly",
                 r.err("cim-sensors"))
        check_cim_log(c, r, profile)
    elif scenario in ("smbios3", "smbios3-lockdown"):
        # Firmware with a 64-bit entry point only: found in the BIOS segment, or the kernel's copy.
        check_smbios(c, r, profile, "legacy")
        entry = r.json("smbios-json")["entryPoint"]
        c.equal(entry.get("entryPoint64"), True, "a 3.x entry point")
        c.equal(entry.get("readFrom"), "sysfs" if scenario == "smbios3-lockdown" else "memory", "the table read from")
        check_sel_events(c, r, profile)
    elif scenario == "no-chip":
        c.equal(r.rc("sensors-json"), 1, "sensors exit status")
        error = r.json("sensors-json").get("error", {})
        c.equal(error.get("status"), STATUS["hardware monitor error"], "sensors status")
        c.expect("did not answer on the I/O ports" in error.get("message", ""), "the tool says no chip answered",
                 error.get("message"))
        log = r.out("library-log")
        for port in ("0x002e", "0x004e"):
            c.expect(re.search(r"Looking for device id 0x\w+ on EF Reg %s" % port, log, re.I),
                     "probed the configuration port " + port, log[-1500:])
    if c.failures:
        print("  (%d failed checks)" % c.failures)
    return c.failures


def main(argv):
    if len(argv) == 3 and argv[1] == "cmos":
        print(cmos_pairs(json.load(open(argv[2]))))
        return 0
    if len(argv) == 6 and argv[1] == "check":
        profile = json.load(open(argv[3]))
        with open(argv[4], encoding="utf-8", errors="replace") as f:
            text = f.read().replace("\r", "")
        try:
            return 1 if check(argv[2], profile, text, int(argv[5])) else 0
        except (ValueError, KeyError, TypeError, IndexError) as e:
            # Output that is not what the tool writes (cut short, not JSON) fails the scenario.
            print("  FAIL %s: the results cannot be read: %r" % (argv[2], e))
            return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
