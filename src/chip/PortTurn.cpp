#include "PortTurn.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sstream>
#include <sys/prctl.h>

namespace
{
constexpr off_t kTurnByte = 0;
constexpr off_t kQueueByte = 1;
// A waiter looks again this often (in nanoseconds) for a while, then less often: a sequence
// takes microseconds, and a turn held much longer is held by a slow controller or a stopped
// process.
constexpr long kShortPause = 30000;
constexpr std::chrono::microseconds kShortPauses(2000);
constexpr long kLongPause = 100000;
// A newcomer's first pause: longer than a waiter's.
constexpr long kCourtesy = 60000;

std::atomic<uint64_t> g_systemCalls{0};

int SetLock(int fd, short type, off_t start, off_t length)
{
    struct flock lock;
    memset(&lock, 0, sizeof(lock));
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    int result;
    do
    {
        g_systemCalls.fetch_add(1, std::memory_order_relaxed);
        result = fcntl(fd, F_OFD_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

bool Busy(int error)
{
    return error == EAGAIN || error == EACCES;
}

void Pause(long nanoseconds)
{
    timespec wait{0, nanoseconds};
    nanosleep(&wait, nullptr);
}

// The reservations that the firmware and the buses make: they name no driver that reads the ports.
bool IsReservation(const std::string& name)
{
    static const char* const kPrefixes[] = {"pnp ", "PCI Bus", "PCI conf", "ACPI", "reserved", "system"};
    for (const char* prefix : kPrefixes)
        if (name.compare(0, strlen(prefix), prefix) == 0)
            return true;
    return false;
}
}  // namespace

namespace PortTurn
{
int Take(int fd, unsigned boundMs)
{
    const int fast = SetLock(fd, F_WRLCK, kTurnByte, 2);
    if (fast == 0)
    {
        // Let others queue while we hold the turn.
        const int error = SetLock(fd, F_UNLCK, kQueueByte, 1);
        if (error != 0)
            SetLock(fd, F_UNLCK, kTurnByte, 2);
        return error;
    }
    if (!Busy(fast))
        return fast;

    // The thread's timer slack (50 us by default) would stretch every pause; it is ours only while
    // we wait.
    const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (slack > 0)
        prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0);
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::milliseconds bound(boundMs);
    // Joining fails only in the moment a fast taker holds both bytes; it is tried again.
    bool queued = SetLock(fd, F_RDLCK, kQueueByte, 1) == 0;
    int error = ETIMEDOUT;
    // The queue goes first: whoever finds one, typically the process that just gave the turn back,
    // waits longer before its first look than the waiters wait between theirs.
    Pause(kCourtesy);
    for (;;)
    {
        if (!queued)
            queued = SetLock(fd, F_RDLCK, kQueueByte, 1) == 0;
        const int turn = SetLock(fd, F_WRLCK, kTurnByte, 1);
        if (turn == 0 || !Busy(turn))
        {
            error = turn;
            break;
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited >= bound)
            break;
        Pause(waited < kShortPauses ? kShortPause : kLongPause);
    }
    if (queued)
        SetLock(fd, F_UNLCK, kQueueByte, 1);
    if (slack > 0)
        prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
    return error;
}

void Give(int fd)
{
    SetLock(fd, F_UNLCK, kTurnByte, 1);
}

uint64_t SystemCalls()
{
    return g_systemCalls.load(std::memory_order_relaxed);
}
}  // namespace PortTurn

std::optional<PortClaim> FindKernelClaim(const std::string& ioports, uint16_t first, uint16_t last)
{
    // "  0a25-0a26 : nct6775": two blanks of indent per level, the range in hex, the owner's name.
    std::istringstream lines(ioports);
    std::string line;
    while (std::getline(lines, line))
    {
        unsigned long start = 0;
        unsigned long end = 0;
        int consumed = 0;
        if (sscanf(line.c_str(), " %lx-%lx : %n", &start, &end, &consumed) != 2 || consumed == 0)
            continue;
        std::string name = line.substr(static_cast<size_t>(consumed));
        while (!name.empty() && (name.back() == '\r' || name.back() == ' '))
            name.pop_back();
        // Readers without CAP_SYS_ADMIN see every range as 0000-0000: that tells nothing.
        if (name.empty() || start > end || end > 0xFFFF || (start == 0 && end == 0))
            continue;
        if (end < first || start > last || IsReservation(name))
            continue;
        return PortClaim{name, static_cast<uint16_t>(start), static_cast<uint16_t>(end)};
    }
    return std::nullopt;
}
