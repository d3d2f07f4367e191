// Peak memory of sending a 64 MiB request (200 file parts) through
// CKesaSession to a sink on loopback, against assembling the same body once
// with BuildBody; and of receiving and parsing a 64 MiB answer (one file
// part), against the answer's size. The sink runs in a child process, so
// that only this process's memory is counted; the peak is reset before each
// measure (/proc/self/clear_refs), so that each is counted from its start.
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

// The peak resident size since the last ResetPeak.
long PeakKiB()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    long kib = -1;
    char line[256];
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::atol(line + 6);
    if (f) std::fclose(f);
    if (kib >= 0) return kib;
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The peak becomes the present resident size.
void ResetPeak()
{
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Accepts one connection, reads one request whole, answers it (with a file
// part of `answerBytes` when not 0), exits.
[[noreturn]] void Sink(int listener, std::size_t answerBytes = 0)
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
    std::string answer = "-----------------------------7d02e419b08\r\n"
                         "Content-Disposition: form-data; name=\"Notification\"\r\n\r\nok\r\n";
    if (answerBytes > 0) {
        answer += "-----------------------------7d02e419b08\r\n"
                  "Content-Disposition: form-data; name=\"CatalogBinData\"; filename=\"C1cat.pdb\"\r\n\r\n";
        answer.append(answerBytes, 'c');
        answer += "\r\n";
    }
    answer += "-----------------------------7d02e419b08--\r\n";
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(answer.size()) +
                              "\r\nConnection: close\r\n\r\n" + answer;
    for (std::size_t done = 0; fd >= 0 && done < reply.size();) {
        const ssize_t n = write(fd, reply.data() + done, reply.size() - done);
        if (n <= 0) _exit(1);
        done += std::size_t(n);
    }
    _exit(received == body ? 0 : 1);
}

constexpr std::size_t kAnswerBytes = std::size_t(64) << 20;

// Listens on loopback; the port, or 0.
int Listen(sockaddr_in& address)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("sink");
        return -1;
    }
    return listener;
}

// Peak growth of one request whose answer holds a 64 MiB file part, until
// the answer is parsed and its file part found; -1 on failure.
long ReceiveGrowth()
{
    sockaddr_in address {};
    const int listener = Listen(address);
    if (listener < 0) return -1;
    const pid_t child = fork();
    if (child == 0) Sink(listener, kAnswerBytes);
    close(listener);
    ResetPeak();
    const long before = PeakKiB();
    bool found = false;
    try {
        CKesaRequest request;
        request.AddArg("function", "GetUpToDateCatalog");
        CKesaSession session;
        session.Open("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/kesa");
        auto response = session.ProcessRequest(&request);
        const CKesaHttpArg* file = response->FindArg("CatalogBinData");
        found = file != nullptr && file->GetLength() == kAnswerBytes;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "receive failed: %s\n", e.what());
    }
    int sink = 1;
    waitpid(child, &sink, 0);
    const long peak = PeakKiB();
    return found && WIFEXITED(sink) && WEXITSTATUS(sink) == 0 ? peak - before : -1;
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
    const long received = ReceiveGrowth();
    constexpr size_t kEach = (size_t(64) << 20) / 200;
    std::vector<std::string> files;
    CKesaRequest request;
    for (int i = 0; i < 200; ++i) {
        files.emplace_back(kEach, static_cast<char>(i));
        request.AddFileArg("CatalogBinData", "Cat" + std::to_string(i) + ".pdb",
                           reinterpret_cast<BYTE*>(files.back().data()), static_cast<DWORD>(kEach));
    }

    sockaddr_in address {};
    const int listener = Listen(address);
    if (listener < 0) return 1;
    const pid_t child = fork();
    if (child == 0) Sink(listener);
    close(listener);

    ResetPeak();
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
    ResetPeak();
    const long beforeBuild = PeakKiB();

    BYTE* body = nullptr;
    const DWORD size = request.BuildBody(&body);
    std::memset(body, 0, size); // as a send would touch it
    std::free(body);
    const long built = PeakKiB();

    std::printf("body: %u bytes in 200 parts; arguments held by the caller: %ld KiB peak before sending\n", size,
                before);
    std::printf("peak growth while sending through CKesaSession: %ld KiB\n", sent - before);
    std::printf("peak growth of one BuildBody of the same request: %ld KiB\n", built - beforeBuild);
    std::printf("peak growth while receiving and parsing a 64 MiB answer: %ld KiB (the answer: %zu KiB;"
                " target: at most the answer + 32 MiB)\n",
                received, kAnswerBytes / 1024);
    return received > 0 && status == 0 && WIFEXITED(sink) && WEXITSTATUS(sink) == 0 ? 0 : 1;
}
