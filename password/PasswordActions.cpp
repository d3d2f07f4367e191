#include "password/PasswordActions.h"

#include <strings.h>

#include "lexmo/Language.h"
#include "nvservices/NvServices.h"
#include "password/PasswordRegistry.h"
#include "settings/MessageLanguage.h"
#include "settings/RegKey.h"

bool LoadPasswordMessages()
{
    if (!OpenRegKey(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ)) return true; // nothing to load from: the built-in texts stay
    return LoadChosenMessages() != 0;
}

int CurrentLanguage()
{
    const std::string catalog = lexmo::ChosenCatalog(ReadMsgDll());
    for (int i = 0; i < int(std::size(kLanguages)); ++i)
        if (::strcasecmp(catalog.c_str(), kLanguages[i].catalog) == 0) return i;
    return 0;
}

int SaveLanguage(int index)
{
    if (index < 0 || index >= int(std::size(kLanguages))) return 0;
    return WriteMsgDll(kLanguages[index].catalog) ? kMsgSaved : kMsgCannotSave;
}

std::string Trim(const std::string& text)
{
    const char* blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool LoginOkEnabled(bool userChosen, const std::string& login, const std::string& password,
                    const std::string& confirmation)
{
    return userChosen && !login.empty() && !password.empty() && !confirmation.empty();
}

int SaveLogin(const std::string& user, const std::string& remembered, const std::string& server,
              const std::string& login, const std::string& password, const std::string& confirmation)
{
    if (user.empty() || Trim(remembered).empty()) return kMsgUnsavedInput;
    if (Trim(login).empty()) return kMsgEnterLogin;
    if (Trim(password) != Trim(confirmation) || Trim(password).empty()) return kMsgPasswordsDiffer;
    // The text cyphered is the first field's as typed, blanks included.
    WriteCredentials(server, user, NvCypher(password, "k&v" + login), login);
    return kMsgSaved;
}

int SaveServer(const std::string& server, const std::string& url, bool* stored)
{
    if (server.empty() || url.empty()) return kMsgEnterServer;
    const bool written = WriteServer(server, url);
    if (stored) *stored = written;
    return 0;
}

TServerLoginSave SaveServerLogin(const std::string& server, const std::string& user, const std::string& login,
                                 const std::string& password, const std::string& confirmation)
{
    const std::string cyphered = NvCypher(password, "k&v" + login);
    // An empty login would store nothing: it is asked for with the passwords.
    if (user.empty() || server.empty() || cyphered.empty() || confirmation.empty() || login.empty())
        return TServerLoginSave::Refused;
    if (password != confirmation) return TServerLoginSave::Differ;
    WriteCredentials(server, user, cyphered, login);
    return TServerLoginSave::Saved;
}

std::vector<std::string> DeleteServer(const std::string& server)
{
    std::vector<std::string> users = UsersOfServer(server);
    if (!users.empty()) return users;
    for (const std::string& user : HotSyncUsers()) DeleteUserServerKey(user, server);
    DeleteServerValue(server);
    return {};
}

std::string ConnexionTestUrl(const std::string& user)
{
    return ReadServerUrl(ReadCurrentServer(user));
}
