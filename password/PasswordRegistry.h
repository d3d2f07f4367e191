// Registry routines of the settings program, all under
// HKEY_LOCAL_MACHINE\SOFTWARE\Norvelia\Tidepost. Failures are silent: a key
// that does not open reads as empty values and takes no writes.
#pragma once
#include <string>
#include <vector>

inline constexpr const char* kProductKey = "SOFTWARE\\Norvelia\\Tidepost";
// The connection values are written as exactly this many bytes.
inline constexpr std::size_t kConnectionValueSize = 256;

// The HotSync users of this desktop, in file order.
std::vector<std::string> HotSyncUsers();
// Position of `name` in HotSyncUsers (without regard to case), 0 when absent.
int UserIndex(const std::string& name);

// CurrentServer of Users\<user>, when that key has values.
std::string ReadCurrentServer(const std::string& user);
// UID of Users\<user>\<server>, when that key has values.
std::string ReadUID(const std::string& server, const std::string& user);
// UID := login and PWD := cyphered in Users\<user>\<server>, created with its
// parents; nothing at all when one of the four texts is empty.
void WriteCredentials(const std::string& server, const std::string& user, const std::string& cyphered,
                      const std::string& login);
// LastActiveTab of Users: 0 to 2; unreadable or out of range gives 0.
int ReadLastActiveTab();
// LastUser of Users; empty when the key does not open.
std::string ReadLastUser();
// LastActiveTab and LastUser into Users, which is never created.
void WriteLastState(int tab, const std::string& user);

// The value names of Servers, in the registry's order.
std::vector<std::string> ReadServerNames();
// The URL of a server, when Servers has values.
std::string ReadServerUrl(const std::string& server);
// False when Servers does not open or the write fails.
bool WriteServer(const std::string& server, const std::string& url);
bool IsCurrentServerOf(const std::string& user, const std::string& server);
// The HotSync users whose current server is `server`.
std::vector<std::string> UsersOfServer(const std::string& server);
// CurrentServer := server, only when Users\<user> has a subkey `server`.
void WriteCurrentServer(const std::string& user, const std::string& server);
void DeleteUserServerKey(const std::string& user, const std::string& server);
void DeleteServerValue(const std::string& server);

// The connection page's values: Mode, ProxyUser, ProxyPassword.
struct ConnectionSettings {
    bool keyOpened = false;
    int mode = 0;
    std::string proxyUser;
    std::string proxyPassword;
};
ConnectionSettings ReadConnectionSettings();
// Mode "0", or mode "1" with the proxy user and password; each value a
// kConnectionValueSize-byte string. False when the product key does not open,
// a text does not fit, or a write fails.
bool WriteConnectionMode(int mode, const std::string* proxyUser = nullptr, const std::string* proxyPassword = nullptr);
// The message catalog the programs load (MsgDll of the product key: Lexmo.dll
// French, LexmoUs.dll English); empty when it cannot be read.
std::string ReadMsgDll();
// False when the product key does not open or the write fails.
bool WriteMsgDll(const std::string& catalog);
// A text that fits in a connection value with its zero byte.
inline bool FitsConnectionValue(const std::string& text) { return text.size() < kConnectionValueSize; }
