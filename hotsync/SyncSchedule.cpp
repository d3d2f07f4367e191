#include "hotsync/SyncSchedule.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "hotsync/RunText.h"
#include "palmkit/HandheldStore.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

constexpr const char* kPrefix = "norvelia-hotsync-";
// What the service passes on from the environment it was scheduled in: the
// settings store and catalogs in use, and the language of the notifications.
const char* const kCarried[] = {"NORVELIA_REGISTRY", "NORVELIA_MSGDIR", "LC_ALL", "LC_MESSAGES", "LANG"};
constexpr auto kSystemctlBound = std::chrono::seconds(30);

bool ValidUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::string Hex2(unsigned char c)
{
    static const char digits[] = "0123456789abcdef";
    return {digits[c >> 4], digits[c & 15]};
}

// A value of a unit's key: specifiers (%) are expanded there.
std::string UnitValue(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '%') out += "%%";
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) out += ' ';
        else out += c;
    }
    return out;
}

// One quoted assignment of Environment=: no $ expansion there.
std::string EnvWord(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') out += std::string("\\") + c;
        else if (c == '%') out += "%%";
        else if (u < 0x20 || u == 0x7f) out += "\\x" + Hex2(u);
        else out += c;
    }
    return out + "\"";
}

bool WriteWhole(const std::string& path, const std::string& text, std::string* error)
{
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            if (error) *error = "cannot write " + temporary + ": " + std::strerror(errno);
            return false;
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The value of the first "key=" line of a unit.
std::string UnitKey(const std::string& text, const std::string& key)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
        pos = end + 1;
    }
    return {};
}

struct Ran {
    bool started = false;
    int code = -1;
    std::string output;
};

// Runs a program found in PATH, its output kept, ended by its pid past the bound.
Ran Run(const std::vector<std::string>& args)
{
    Ran ran;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return ran;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return ran;
    }
    ran.started = true;
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    const auto end = std::chrono::steady_clock::now() + kSystemctlBound;
    int status = 0;
    for (;;) {
        char buf[1024];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) ran.output.append(buf, std::size_t(n));
        if (::waitpid(pid, &status, WNOHANG) == pid) break;
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ran.output += "(stopped after " + std::to_string(kSystemctlBound.count()) + " s)";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    char buf[1024];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) ran.output.append(buf, std::size_t(n));
    ::close(pipeFds[0]);
    ran.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    while (!ran.output.empty() && (ran.output.back() == '\n' || ran.output.back() == ' ')) ran.output.pop_back();
    return ran;
}

Ran Systemctl(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"systemctl", "--user"};
    all.insert(all.end(), args.begin(), args.end());
    return Run(all);
}

std::string WantsLink(const std::string& timer)
{
    return CSyncSchedule::UnitDir() + "/timers.target.wants/" + timer;
}

std::string JournalCommand(const std::string& name)
{
    return "journalctl --user -u " + ShellWord(name + ".service");
}

} // namespace

std::optional<CSyncSchedule::When> CSyncSchedule::ParseEvery(const std::string& text, std::string* error)
{
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    const std::string unit = text.substr(digits);
    long minutes = -1;
    if (digits > 0 && digits <= 6) {
        const long n = std::stol(text.substr(0, digits));
        if (unit == "m" || unit == "min") minutes = n;
        else if (unit == "h") minutes = n * 60;
    }
    if (minutes < 0) {
        if (error) *error = "\"" + text + "\" is not an interval such as 30min or 2h";
        return std::nullopt;
    }
    if (minutes < kMinEveryMinutes || minutes > kMaxEveryMinutes) {
        if (error)
            *error = "an interval of " + text + " is out of range: from " + std::to_string(kMinEveryMinutes) +
                     "min to " + std::to_string(kMaxEveryMinutes / 60) + "h";
        return std::nullopt;
    }
    return When{When::Kind::Every, int(minutes)};
}

std::optional<CSyncSchedule::When> CSyncSchedule::ParseDaily(const std::string& text, std::string* error)
{
    auto digit = [&](std::size_t i) { return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); };
    if (text.size() == 5 && digit(0) && digit(1) && text[2] == ':' && digit(3) && digit(4)) {
        const int hours = (text[0] - '0') * 10 + (text[1] - '0');
        const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
        if (hours < 24 && minutes < 60) return When{When::Kind::Daily, hours * 60 + minutes};
    }
    if (error) *error = "\"" + text + "\" is not a time of day such as 07:30 (HH:MM, 24-hour clock)";
    return std::nullopt;
}

std::string CSyncSchedule::WhenText(const When& when)
{
    switch (when.kind) {
    case When::Kind::Off: return {};
    case When::Kind::Daily:
        return RunText(4311, "every day at %02d:%02d", when.minutes / 60, when.minutes % 60);
    case When::Kind::Every:
        if (when.minutes == 60) return RunText(4312, "every hour");
        if (when.minutes % 60 == 0) return RunText(4313, "every %d hours", when.minutes / 60);
        return RunText(4314, "every %d minutes", when.minutes);
    }
    return {};
}

std::string CSyncSchedule::UnitDir()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return std::string(xdg) + "/systemd/user";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/systemd/user";
}

std::string CSyncSchedule::UnitName(const std::string& user)
{
    // As systemd-escape: '/' becomes '-', a leading '.' and anything but
    // letters, digits, ':', '_' and '.' become \xNN.
    std::string out = kPrefix;
    for (std::size_t i = 0; i < user.size(); ++i) {
        const auto c = static_cast<unsigned char>(user[i]);
        if (c == '/') out += '-';
        else if (std::isalnum(c) && c < 0x80) out += char(c);
        else if ((c == ':' || c == '_' || c == '.') && !(i == 0 && c == '.')) out += char(c);
        else out += "\\x" + Hex2(c);
    }
    return out;
}

std::string CSyncSchedule::ExecWord(const std::string& arg)
{
    std::string out = "\"";
    for (char c : arg) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') out += std::string("\\") + c;
        else if (c == '%') out += "%%";
        else if (c == '$') out += "$$";
        else if (u < 0x20 || u == 0x7f) out += "\\x" + Hex2(u);
        else out += c;
    }
    return out + "\"";
}

std::vector<std::string> CSyncSchedule::SplitExecLine(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string word;
        const char quote = (line[i] == '"' || line[i] == '\'') ? line[i++] : 0;
        while (i < line.size()) {
            const char c = line[i];
            if (quote ? c == quote : (c == ' ' || c == '\t')) {
                if (quote) ++i;
                break;
            }
            if ((c == '%' || c == '$') && i + 1 < line.size() && line[i + 1] == c) {
                word += c;
                i += 2;
                continue;
            }
            // As the manager would: %h its home, $NAME or ${NAME} its environment.
            if (c == '%' && i + 1 < line.size()) {
                if (line[i + 1] == 'h') {
                    const char* home = std::getenv("HOME");
                    word += home ? home : "";
                } else {
                    word += line.substr(i, 2);
                }
                i += 2;
                continue;
            }
            auto nameChar = [&](std::size_t at) {
                return at < line.size() && (std::isalnum(static_cast<unsigned char>(line[at])) || line[at] == '_');
            };
            if (c == '$' && (nameChar(i + 1) || (i + 1 < line.size() && line[i + 1] == '{'))) {
                const bool braced = line[i + 1] == '{';
                const std::size_t from = i + (braced ? 2 : 1);
                std::size_t end = from;
                while (nameChar(end)) ++end;
                const std::string var = line.substr(from, end - from);
                if (braced && end < line.size() && line[end] == '}') ++end;
                const char* value = std::getenv(var.c_str());
                word += value ? value : "";
                i = end;
                continue;
            }
            if (c == '\\' && i + 1 < line.size()) {
                const char e = line[i + 1];
                if (e == 'x' && i + 3 < line.size() && hex(line[i + 2]) && hex(line[i + 3])) {
                    word += char(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                    i += 4;
                    continue;
                }
                word += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                i += 2;
                continue;
            }
            word += c;
            ++i;
        }
        words.push_back(word);
    }
    return words;
}

std::string CSyncSchedule::ServiceText(const Entry& e, const std::string& hotsync)
{
    std::string text = "# Made by hotsync schedule (hotsync schedule --user NAME --off removes it).\n"
                       "[Unit]\n"
                       "Description=" + UnitValue(RunText(4315, "HotSync of %s's handheld", e.user)) + "\n"
                       "Documentation=man:hotsync(1)\n"
                       "\n"
                       "[Service]\n"
                       "Type=oneshot\n";
    for (const char* name : kCarried)
        if (const char* value = std::getenv(name); value && *value)
            text += "Environment=" + EnvWord(std::string(name) + "=" + value) + "\n";
    text += "ExecStart=";
    // "--user=NAME": a name that starts with '-' stays a value.
    const std::vector<std::string> args = {hotsync, "--home=" + e.home, "sync", "--user=" + e.user,
                                           "--handheld=" + e.handheld, "--no", "--notify"};
    for (std::size_t i = 0; i < args.size(); ++i) text += (i ? " " : "") + ExecWord(args[i]);
    return text + "\n";
}

std::string CSyncSchedule::TimerText(const Entry& e)
{
    std::string text = "# Made by hotsync schedule (hotsync schedule --user NAME --off removes it).\n"
                       "[Unit]\n"
                       "Description=" + UnitValue(RunText(4316, "HotSync of %s's handheld, %s", e.user,
                                                          WhenText(e.when))) + "\n"
                       "\n"
                       "[Timer]\n";
    if (e.when.kind == When::Kind::Daily) {
        char at[32];
        std::snprintf(at, sizeof at, "%02d:%02d:00", e.when.minutes / 60, e.when.minutes % 60);
        // A day missed while the computer was off is made up at the next start.
        text += std::string("OnCalendar=*-*-* ") + at + "\nPersistent=true\n";
    } else {
        const std::string every = std::to_string(e.when.minutes) + "min";
        text += "OnActiveSec=" + every + "\nOnUnitActiveSec=" + every + "\n";
    }
    text += "Unit=" + UnitName(e.user) + ".service\n"
            "\n"
            "[Install]\n"
            "WantedBy=timers.target\n";
    return text;
}

std::optional<CSyncSchedule::Entry> CSyncSchedule::Read(const std::string& user)
{
    const std::string base = UnitDir() + "/" + UnitName(user);
    const std::string service = ReadWhole(base + ".service");
    const std::string timer = ReadWhole(base + ".timer");
    if (service.empty() || timer.empty()) return std::nullopt;
    Entry e;
    const std::vector<std::string> words = SplitExecLine(UnitKey(service, "ExecStart"));
    auto value = [](const std::string& word, const std::string& option) {
        return word.rfind(option + "=", 0) == 0 ? word.substr(option.size() + 1) : std::string();
    };
    if (words.size() >= 5 && words[2] == "sync") {
        e.program = words[0];
        e.home = value(words[1], "--home");
        e.user = value(words[3], "--user");
        e.handheld = value(words[4], "--handheld");
    }
    const std::string calendar = UnitKey(timer, "OnCalendar");
    const std::string every = UnitKey(timer, "OnUnitActiveSec");
    if (calendar.rfind("*-*-* ", 0) == 0) {
        if (auto w = ParseDaily(calendar.substr(6, 5), nullptr)) e.when = *w;
    } else if (!every.empty()) {
        const long minutes = std::strtol(every.c_str(), nullptr, 10);
        if (minutes > 0) e.when = When{When::Kind::Every, int(minutes)};
    }
    if (e.user.empty() || e.when.kind == When::Kind::Off) return std::nullopt;
    return e;
}

CSyncSchedule::Result CSyncSchedule::Install(const Entry& e, const std::string& hotsync)
{
    Result r{1, {}};
    for (const std::string* text : {&e.user, &e.handheld, &e.home, &hotsync})
        if (!ValidUtf8(*text)) {
            r.text = RunText(4317, "Not scheduled: \"%s\" is not UTF-8 text, which systemd's units need.", *text);
            return r;
        }
    if (e.when.kind == When::Kind::Off) return Remove(e.user);
    const std::string dir = UnitDir();
    const std::string name = UnitName(e.user);
    std::error_code ec;
    fs::create_directories(dir + "/timers.target.wants", ec);
    std::string error;
    if (ec) error = dir + ": " + ec.message();
    if (error.empty() && WriteWhole(dir + "/" + name + ".service", ServiceText(e, hotsync), &error) &&
        WriteWhole(dir + "/" + name + ".timer", TimerText(e), &error)) {
        // What systemctl enable makes: the timer starts with the user manager.
        const std::string link = WantsLink(name + ".timer");
        fs::remove(link, ec);
        fs::create_symlink(dir + "/" + name + ".timer", link, ec);
        if (ec) error = link + ": " + ec.message();
    }
    if (!error.empty()) {
        r.text = RunText(4318, "Not scheduled: %s", error);
        return r;
    }
    const std::string done =
        RunText(4337, "%s's handheld %s is synchronized %s (timer %s).", e.user, e.handheld, WhenText(e.when),
                name + ".timer");
    const std::string journal =
        RunText(4320, "Each run's output and verdict go to the journal: %s", JournalCommand(name));
    const std::string startNow =
        "systemctl --user daemon-reload && systemctl --user restart " + ShellWord(name + ".timer");
    const Ran reload = Systemctl({"daemon-reload"});
    if (!reload.started) {
        r.text = RunText(4321, "The units are written in %s, but systemctl was not found: this system does not run "
                               "systemd, and nothing will start them.", dir);
        return r;
    }
    if (reload.code != 0) {
        r.status = 0;
        r.text = done + "\n" +
                 RunText(4322, "The timer starts with your next login: no systemd user manager answers now (%s). To start it "
                               "now from a session that has one: %s",
                         reload.output, startNow) +
                 "\n" + journal;
        return r;
    }
    const Ran restart = Systemctl({"restart", name + ".timer"});
    if (restart.code != 0) {
        r.text = RunText(4323, "The units are written in %s, but the timer did not start: %s (try: %s)", dir,
                         restart.output, startNow);
        return r;
    }
    r.status = 0;
    r.text = done + "\n" + journal;
    return r;
}

CSyncSchedule::Result CSyncSchedule::Remove(const std::string& user)
{
    Result r{0, {}};
    const std::string dir = UnitDir();
    const std::string name = UnitName(user);
    const std::string service = dir + "/" + name + ".service";
    const std::string timer = dir + "/" + name + ".timer";
    std::error_code ec;
    const bool present =
        fs::exists(service, ec) || fs::exists(timer, ec) || fs::is_symlink(WantsLink(name + ".timer"), ec);
    if (!present) {
        r.text = RunText(4324, "%s has no scheduled synchronization.", user);
        return r;
    }
    const Ran stop = Systemctl({"stop", name + ".timer"});
    fs::remove(WantsLink(name + ".timer"), ec);
    std::string error;
    for (const std::string& file : {timer, service}) {
        std::error_code removeError;
        fs::remove(file, removeError);
        if (removeError) error = file + ": " + removeError.message();
    }
    if (!error.empty()) {
        r.status = 1;
        r.text = RunText(4325, "The schedule of %s could not be removed: %s", user, error);
        return r;
    }
    if (stop.started) Systemctl({"daemon-reload"});
    r.text = RunText(4326, "%s's handheld is no longer synchronized on a schedule (timer %s removed).", user,
                     name + ".timer");
    return r;
}
