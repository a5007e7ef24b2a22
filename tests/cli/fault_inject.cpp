// A fault for the real programs, preloaded with LD_PRELOAD: at the Nth call of rename, unlink or
// fsync on a path that contains a given text, the process is killed, gets a stopping signal, or
// stalls until a signal ends it. Set by ZEM_FAULT_CALL (rename, unlink, fsync), ZEM_FAULT_AT (N,
// from 1), ZEM_FAULT_PATH (the text) and ZEM_FAULT_ACTION (kill, term, int, hup, stall).
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

int gCalls = 0;  // calls that matched ZEM_FAULT_CALL and ZEM_FAULT_PATH so far

bool strikes(const char* call, const char* path)
{
    const char* wanted = getenv("ZEM_FAULT_CALL");
    const char* within = getenv("ZEM_FAULT_PATH");
    const char* at = getenv("ZEM_FAULT_AT");
    if (!wanted || strcmp(wanted, call) != 0 || !path || (within && !strstr(path, within))) return false;
    return ++gCalls == (at ? atoi(at) : 1);
}

void act()
{
    const char* action = getenv("ZEM_FAULT_ACTION");
    if (!action) return;
    if (strcmp(action, "kill") == 0) raise(SIGKILL);
    if (strcmp(action, "term") == 0) raise(SIGTERM);
    if (strcmp(action, "int") == 0) raise(SIGINT);
    if (strcmp(action, "hup") == 0) raise(SIGHUP);
    if (strcmp(action, "stall") == 0)
        for (;;) pause();
}

template <typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int rename(const char* from, const char* to)
{
    if (strikes("rename", to)) act();
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    return next(from, to);
}

extern "C" int unlink(const char* path)
{
    if (strikes("unlink", path)) act();
    static const auto next = real<int (*)(const char*)>("unlink");
    return next(path);
}

extern "C" int fsync(int fd)
{
    char link[64];
    char path[4096] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (readlink(link, path, sizeof path - 1) > 0 && strikes("fsync", path)) act();
    static const auto next = real<int (*)(int)>("fsync");
    return next(fd);
}
