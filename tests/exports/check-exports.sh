#!/usr/bin/env bash
# The shared libraries carry their sonames and export only the external interface.
set -euo pipefail
chip=$1
sensors=$2
fail=0

soname() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }
[ "$(soname "$chip")" = libqelchip.so.0 ] || { echo "libqelchip soname: $(soname "$chip")"; fail=1; }
[ "$(soname "$sensors")" = libqelsensors.so.0 ] || { echo "libqelsensors soname: $(soname "$sensors")"; fail=1; }

# Every defined dynamic symbol must match one of the allowed (demangled) patterns.
check() {
    local lib=$1 allowed=$2 unexpected
    unexpected=$(nm -D --defined-only -C "$lib" | cut -d' ' -f3- | grep -v -E "$allowed" || true)
    if [ -n "$unexpected" ]; then
        echo "$lib exports more than its interface:"
        echo "$unexpected"
        fail=1
    fi
}
logging='^(Log|LogQuick|WLog)\('
check "$chip" "$logging|^Utils::(MakeString(\[abi:cxx11\])?|checksum)\(|^bcd2decimal\(|^(BuildDate|TarnwVersion|EyeCatcher1|EyeCatcher2|ExtraInfo)$|^CPOSSystem::|^CChip::"
provider='^(SensorProvider_Create_InstanceMI|drv(InstanceCleanup|EnumInstanceNames|EnumInstances|GetInstance|CreateInstance|ModifyInstance|DeleteInstance|ExecQuery)|CONSTRUCTOR|DESTRUCTOR|__drv_synch|__drv_unsynch)$'
check "$sensors" "$logging|$provider"

# And the interface itself is there.
for sym in 'CChip::Initialise()' 'CChip::ReadSensor(unsigned int, CSensorReading&)' 'CPOSSystem::s_instance' 'CPOSSystem::IsFalcon() const' 'Log(LOG_LEVEL, char const*, ...)' 'LogQuick(LOG_LEVEL, char const*)' 'Utils::checksum(' 'bcd2decimal(unsigned char)' BuildDate TarnwVersion; do
    nm -D --defined-only -C "$chip" | grep -qF "$sym" || { echo "libqelchip lacks $sym"; fail=1; }
done
nm -D --defined-only -C "$sensors" | grep -qF 'Log(LOG_LEVEL, char const*, ...)' || { echo "libqelsensors lacks Log"; fail=1; }
# An object manager looks the factory and the MI functions up by their plain C names.
for sym in SensorProvider_Create_InstanceMI drvInstanceCleanup drvEnumInstanceNames drvEnumInstances drvGetInstance; do
    nm -D --defined-only "$sensors" | grep -qE " T $sym\$" || { echo "libqelsensors lacks $sym"; fail=1; }
done
exit $fail
