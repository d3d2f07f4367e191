// What the settings program's buttons do with the settings, apart from any
// window: the checks, the writes and the message that tells the person. The
// Qt windows and the Win32 ones both call these, then show the message.
#pragma once
#include <string>
#include <vector>

// Messages of the settings program that these answer with.
inline constexpr int kMsgUnsavedInput = 3022; // also "choose a user" on the login page
inline constexpr int kMsgErrorCaption = 3023;
inline constexpr int kMsgEnterLogin = 3025;
inline constexpr int kMsgPasswordsDiffer = 3026;
inline constexpr int kMsgCannotSave = 3027;
inline constexpr int kMsgEnterProxyUser = 3028;
inline constexpr int kMsgEnterProxyPassword = 3029;
inline constexpr int kMsgInfoCaption = 3030;
inline constexpr int kMsgSaved = 3031;
inline constexpr int kMsgChooseUser = 3037;
inline constexpr int kMsgChooseServer = 3041;
inline constexpr int kMsgServerInUse = 3042;
inline constexpr int kMsgEnterServer = 3050;
inline constexpr int kMsgEnterServerLogin = 3056;

// The plain box of the login dialog when the two passwords differ (not a
// catalog text).
inline constexpr const char* kPasswordsNotIdentical = "Les mots de passe ne sont pas identiques";

// Loads the catalog MsgDll names, else the locale's. True also when the product key does not
// open: the built-in texts then stay. False when the catalog cannot be loaded:
// the person is told "Norvelia messages load failure" and the program ends.
bool LoadPasswordMessages();

// The languages the connection page offers: what the list shows, and the
// catalog MsgDll then names.
struct TLanguage {
    const char* name;
    const char* catalog;
};
inline constexpr TLanguage kLanguages[] = {{"Français", "Lexmo.dll"}, {"English", "LexmoUs.dll"}};
// The entry of the catalog in use (the locale's when MsgDll is unset); one
// this program does not name gives the product's own, the first.
int CurrentLanguage();
// MsgDll := the entry's catalog: kMsgSaved, or kMsgCannotSave.
int SaveLanguage(int index);

// Text trimmed of blanks and tabs at both ends.
std::string Trim(const std::string& text);

// Whether the login page's Valider is enabled: a user chosen and the three
// fields holding text, blanks included.
bool LoginOkEnabled(bool userChosen, const std::string& login, const std::string& password,
                    const std::string& confirmation);

// The login page's Valider for `user` (empty when none is chosen; `remembered`
// is the user the button was enabled for) on its current `server`:
// kMsgUnsavedInput, kMsgEnterLogin, kMsgPasswordsDiffer (the password fields
// are then emptied), or kMsgSaved once UID and the cyphered PWD are written;
// nothing is written for a user without a current server, yet kMsgSaved.
int SaveLogin(const std::string& user, const std::string& remembered, const std::string& server,
              const std::string& login, const std::string& password, const std::string& confirmation);

// The servers dialog's OK: kMsgEnterServer when the name or the URL is empty,
// else 0 with the URL written under the name (`stored` false when Servers
// does not open).
int SaveServer(const std::string& server, const std::string& url, bool* stored = nullptr);

// The login dialog's OK for `user` on `server`.
enum class TServerLoginSave {
    Refused,  // kMsgEnterServerLogin: a name, the login, the password or its confirmation is empty
    Differ,   // kPasswordsNotIdentical: the dialog closes, nothing is stored
    Saved,
};
TServerLoginSave SaveServerLogin(const std::string& server, const std::string& user, const std::string& login,
                                 const std::string& password, const std::string& confirmation);

// Deletes a server, its value and every user's login on it, unless it is the
// current server of some users: those are returned and nothing is deleted.
std::vector<std::string> DeleteServer(const std::string& server);

// The URL the connection test checks for `user`: their current server's,
// empty when it has none (the test then checks its default server).
std::string ConnexionTestUrl(const std::string& user);
