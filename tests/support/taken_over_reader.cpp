// A reader taken over by a hostile file, for the tests only: preloaded into zemconvert, it runs the attack that
// ZEM_ATTACK names inside the child, right after the child's own system call filter is loaded.
//
// ZEM_ATTACK: signal  F_SETOWN(ZEM_ATTACK_TARGET, or the parent for "parent"), F_SETSIG(SIGKILL) and O_ASYNC on the
//                     answer's pipe, so that the parent's read of the answer sends SIGKILL to the target
//             lease   a read lease on ZEM_ATTACK_FILE, held for ZEM_ATTACK_SECONDS
//             notify  F_NOTIFY on the folder ZEM_ATTACK_FILE, for ZEM_ATTACK_SECONDS
//             tty     a line read from the controlling terminal
//             outside each of ZEM_ATTACK_FILES (names between colons) read by every way there is: opened by name, and
//                     asked of the parent as the model's own files are asked for
// Each attack that gets what it is after leaves a mark the test sees from outside (a process gone, a lease in
// /proc/locks, a signal that ends the child, a typed line consumed); one that is refused lets the import go on.
#include <dlfcn.h>
#include <fcntl.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

const char* setting(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// No sleeping call gets past the filter: the clock is read in user space.
void spin(double seconds)
{
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    do clock_gettime(CLOCK_MONOTONIC, &now);
    while (double(now.tv_sec - start.tv_sec) + 1e-9 * double(now.tv_nsec - start.tv_nsec) < seconds);
}

double heldSeconds()
{
    const double seconds = std::atof(setting("ZEM_ATTACK_SECONDS"));
    return seconds > 0 ? seconds : 3;
}

// The answer's pipe: the child's descriptor 3.
void signalThroughThePipe(pid_t parent)
{
    const char* target = setting("ZEM_ATTACK_TARGET");
    const pid_t victim = std::strcmp(target, "parent") == 0 ? parent : static_cast<pid_t>(std::atol(target));
    fcntl(3, F_SETOWN, victim);
    fcntl(3, F_SETSIG, SIGKILL);
    fcntl(3, F_SETFL, fcntl(3, F_GETFL) | O_ASYNC);
}

void holdLease()
{
    const int fd = open(setting("ZEM_ATTACK_FILE"), O_RDONLY);
    fcntl(fd, F_SETLEASE, F_RDLCK);
    spin(heldSeconds());
}

void watchFolder()
{
    const int fd = open(setting("ZEM_ATTACK_FILE"), O_RDONLY | O_DIRECTORY);
    fcntl(fd, F_NOTIFY, DN_CREATE | DN_MULTISHOT);
    spin(heldSeconds());
}

void readTerminal()
{
    const int fd = open("/dev/tty", O_RDONLY);
    char line[256];
    if (fd >= 0) (void)!read(fd, line, sizeof line);
}

// A descriptor asked of the parent on the socket where the child's files come from (descriptor 4):
// a request of the form the child's own reader sends ("o" and the name), the answer's descriptor.
int askParent(const std::string& name)
{
    const std::string request = "o" + name;
    if (send(4, request.data(), request.size(), MSG_NOSIGNAL) < 0) return -1;
    char words[8192];
    iovec part{words, sizeof words};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(4, &message, 0) <= 0) return -1;
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    int fd = -1;
    if (header && header->cmsg_type == SCM_RIGHTS) std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return fd;
}

bool readsSomething(int fd)
{
    char byte;
    return fd >= 0 && read(fd, &byte, 1) == 1;
}

// Anything read ends the child with a crash, which zemconvert reports: a mark seen from outside.
void readOutside()
{
    std::vector<std::string> names;
    std::string all = setting("ZEM_ATTACK_FILES");
    for (std::size_t at = 0, colon; at <= all.size(); at = colon + 1) {
        colon = all.find(':', at);
        if (colon == std::string::npos) colon = all.size();
        if (colon > at) names.push_back(all.substr(at, colon - at));
    }
    for (const std::string& name : names) {
        std::FILE* file = std::fopen(name.c_str(), "r");
        if (readsSomething(open(name.c_str(), O_RDONLY)) || readsSomething(openat(AT_FDCWD, name.c_str(), O_RDONLY)) ||
            (file && std::fgetc(file) != EOF) || readsSomething(askParent(name)))
            raise(SIGSEGV);
    }
}

void attack(pid_t parent)
{
    const char* name = setting("ZEM_ATTACK");
    if (std::strcmp(name, "signal") == 0) signalThroughThePipe(parent);
    if (std::strcmp(name, "lease") == 0) holdLease();
    if (std::strcmp(name, "notify") == 0) watchFolder();
    if (std::strcmp(name, "tty") == 0) readTerminal();
    if (std::strcmp(name, "outside") == 0) readOutside();
}

}  // namespace

extern "C" int seccomp_load(scmp_filter_ctx filter)
{
    using Load = int (*)(scmp_filter_ctx);
    static const Load load = reinterpret_cast<Load>(dlsym(RTLD_NEXT, "seccomp_load"));
    const pid_t parent = getppid();  // before the filter, which refuses it
    const int result = load ? load(filter) : -ENOSYS;
    if (result == 0) attack(parent);
    return result;
}
