// The child's requests to the parent's broker and the parent's answers: one message each way on a Unix socket, a
// descriptor passed with the answer.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sandbox/child.h"

namespace sandbox_detail {

bool gHasBroker = false;  // set in a child whose parent answers requests

bool serveRequest(int socket, const SandboxBroker& broker, uint64_t& served)
{
    // A plain receive: a descriptor that the child sends along is dropped by the kernel, never taken.
    char request[kSandboxMessageBytes + 1];
    ssize_t got;
    do got = recv(socket, request, sizeof request, MSG_DONTWAIT | MSG_TRUNC);
    while (got < 0 && errno == EINTR);
    if (got < 0) return errno == EAGAIN;
    if (got == 0) return false;
    SandboxReply reply;
    ++served;
    if (static_cast<std::size_t>(got) <= kSandboxMessageBytes)
        reply = broker(std::string(request, static_cast<std::size_t>(got)));
    if (reply.words.size() > kSandboxMessageBytes) reply.words.resize(kSandboxMessageBytes);
    // The words go as they are, or as one zero byte when there are none: an empty message would
    // read as the end of the socket.
    const std::string words = reply.words.empty() ? std::string(1, '\0') : reply.words;
    iovec part{const_cast<char*>(words.data()), words.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (reply.fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &reply.fd, sizeof(int));
    }
    // Without waiting: a child that does not read its answers loses them, and cannot hold up the
    // parent's watch on its deadline.
    ssize_t sent;
    do sent = sendmsg(socket, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (reply.fd >= 0) close(reply.fd);
    return sent >= 0 || errno == EAGAIN;
}

}  // namespace sandbox_detail

bool sandboxAsk(const std::string& request, std::string& words, int& fd)
{
    using namespace sandbox_detail;
    fd = -1;
    words.clear();
    if (!gHasBroker || request.empty() || request.size() > kSandboxMessageBytes) return false;
    ssize_t sent;
    do sent = send(kBrokerFd, request.data(), request.size(), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.size())) return false;
    char answer[kSandboxMessageBytes];
    iovec part{answer, sizeof answer};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do got = recvmsg(kBrokerFd, &message, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header))
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
            header->cmsg_len == CMSG_LEN(sizeof(int)))
            std::memcpy(&fd, CMSG_DATA(header), sizeof(int));
    words.assign(answer, static_cast<std::size_t>(got));
    if (words == std::string(1, '\0')) words.clear();
    return true;
}
