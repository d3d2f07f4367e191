// Peak memory of sending a 64 MiB request (200 file parts) through
// CKesaSession to a sink on loopback, against assembling the same body once
// with BuildBody. The sink runs in a child process, so that only the sender's
// memory is counted.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "client/KesaSession.h"
#include "lexmo/Lexmo.h"

namespace {

long PeakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Accepts one connection, reads one request whole, answers it, exits.
[[noreturn]] void Sink(int listener)
{
    const int fd = accept(listener, nullptr, nullptr);
    std::string head;
    char buffer[65536];
    long long body = -1;
    long long received = 0;
    while (fd >= 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        if (body < 0) {
            head.append(buffer, static_cast<size_t>(n));
            const size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            const size_t at = head.find("Content-Length: ");
            body = at == std::string::npos ? 0 : std::atoll(head.c_str() + at + 16);
            received = static_cast<long long>(head.size() - end - 4);
        } else {
            received += n;
        }
        if (received >= body) break;
    }
    const std::string answer = "-----------------------------7d02e419b08\r\n"
                               "Content-Disposition: form-data; name=\"Notification\"\r\n\r\nok\r\n"
                               "-----------------------------7d02e419b08--\r\n";
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(answer.size()) +
                              "\r\nConnection: close\r\n\r\n" + answer;
    if (fd >= 0 && write(fd, reply.data(), reply.size()) < 0) _exit(1);
    _exit(received == body ? 0 : 1);
}

} // namespace

int main()
{
    // The session reads its settings: from a registry of its own, never the user's.
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/session-memory-XXXXXX";
    if (!mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("NORVELIA_REGISTRY", (dir + "/registry.db").c_str(), 1);
    setenv("HOTSYNC_HOME", dir.c_str(), 1);
    struct Cleanup {
        std::string dir;
        ~Cleanup() { std::filesystem::remove_all(dir); }
    } cleanup{dir};
    KESA_LoadMessages("Lexmo.dll");
    constexpr size_t kEach = (size_t(64) << 20) / 200;
    std::vector<std::string> files;
    CKesaRequest request;
    for (int i = 0; i < 200; ++i) {
        files.emplace_back(kEach, static_cast<char>(i));
        request.AddFileArg("CatalogBinData", "Cat" + std::to_string(i) + ".pdb",
                           reinterpret_cast<BYTE*>(files.back().data()), static_cast<DWORD>(kEach));
    }

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("sink");
        return 1;
    }
    const pid_t child = fork();
    if (child == 0) Sink(listener);
    close(listener);

    const long before = PeakKiB();
    int status = 1;
    try {
        CKesaSession session;
        session.Open("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/kesa");
        auto response = session.ProcessRequest(&request);
        status = response->FindArg("Notification") ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "send failed: %s\n", e.what());
    }
    int sink = 1;
    waitpid(child, &sink, 0);
    const long sent = PeakKiB();

    BYTE* body = nullptr;
    const DWORD size = request.BuildBody(&body);
    std::memset(body, 0, size); // as a send would touch it
    std::free(body);
    const long built = PeakKiB();

    std::printf("body: %u bytes in 200 parts; arguments held by the caller: %ld KiB peak before sending\n", size,
                before);
    std::printf("peak growth while sending through CKesaSession: %ld KiB\n", sent - before);
    std::printf("peak growth of one BuildBody of the same request: %ld KiB\n", built - sent);
    return status == 0 && WIFEXITED(sink) && WEXITSTATUS(sink) == 0 ? 0 : 1;
}
