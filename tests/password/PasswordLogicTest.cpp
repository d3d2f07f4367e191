// The settings program's logic that both front ends call, over a private
// settings store on Linux and the Wine prefix's registry on Windows: what
// each button writes, and the message that answers it.
#include <gtest/gtest.h>

#include "nvservices/NvServices.h"
#include "password/ConnectionChoice.h"
#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"
#include "winreg/RegTestStore.h"

namespace {

const std::string P = "SOFTWARE\\Norvelia\\Tidepost";
const std::string kUserKey = P + "\\Users\\Anne\\Norvelia";

class PasswordLogic : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, P.c_str()); // the Windows registry outlives a test
        ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, P + "\\Servers", "Norvelia", "http://h:1/T/x/y"), ERROR_SUCCESS);
    }
    void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, P.c_str()); }
    RegTestStore m_Store;
};

TEST_F(PasswordLogic, LoginPageValider)
{
    const struct {
        const char* name;
        const char* user;
        const char* remembered;
        const char* server;
        const char* login;
        const char* password;
        const char* confirmation;
        int message;
        bool written;
    } cases[] = {
        {"no user", "", "", "Norvelia", "anne", "pw", "pw", kMsgUnsavedInput, false},
        {"remembered user of blanks", "Anne", "  ", "Norvelia", "anne", "pw", "pw", kMsgUnsavedInput, false},
        {"login of blanks", "Anne", "Anne", "Norvelia", "  ", "pw", "pw", kMsgEnterLogin, false},
        {"passwords differ", "Anne", "Anne", "Norvelia", "anne", "pw", "px", kMsgPasswordsDiffer, false},
        {"empty password", "Anne", "Anne", "Norvelia", "anne", " ", " ", kMsgPasswordsDiffer, false},
        {"no current server: saved, nothing written", "Anne", "Anne", "", "anne", "pw", "pw", kMsgSaved, false},
        {"blanks at the ends are equal", "Anne", "Anne", "Norvelia", "anne", " pw", "pw ", kMsgSaved, true},
    };
    for (const auto& c : cases) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (P + "\\Users").c_str());
        EXPECT_EQ(SaveLogin(c.user, c.remembered, c.server, c.login, c.password, c.confirmation), c.message) << c.name;
        EXPECT_EQ(ReadUID("Norvelia", "Anne"), c.written ? c.login : "") << c.name;
        // The first field is cyphered as typed, blanks included.
        if (c.written) {
            EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kUserKey, "PWD"),
                      std::optional(NvCypher(c.password, std::string("k&v") + c.login) + '\0'))
                << c.name;
        }
    }
}

TEST_F(PasswordLogic, ServerLoginDialogOk)
{
    EXPECT_EQ(SaveServerLogin("Norvelia", "Anne", "", "pw", "pw"), TServerLoginSave::Refused);
    EXPECT_EQ(SaveServerLogin("Norvelia", "Anne", "anne", "pw", ""), TServerLoginSave::Refused);
    EXPECT_EQ(SaveServerLogin("", "Anne", "anne", "pw", "pw"), TServerLoginSave::Refused);
    // Compared exactly here: a blank makes them differ, and nothing is stored.
    EXPECT_EQ(SaveServerLogin("Norvelia", "Anne", "anne", "pw", "pw "), TServerLoginSave::Differ);
    EXPECT_EQ(ReadUID("Norvelia", "Anne"), "");
    EXPECT_EQ(SaveServerLogin("Norvelia", "Anne", "anne", "pw", "pw"), TServerLoginSave::Saved);
    EXPECT_EQ(ReadUID("Norvelia", "Anne"), "anne");

    EXPECT_EQ(SaveServer("", "http://x/"), kMsgEnterServer);
    EXPECT_EQ(SaveServer("Recette", ""), kMsgEnterServer);
    bool stored = false;
    EXPECT_EQ(SaveServer("Recette", "http://r/T/x/y", &stored), 0);
    EXPECT_TRUE(stored);
    EXPECT_EQ(ReadServerUrl("Recette"), "http://r/T/x/y");
}

// The connection page: what enables Valider, and what Valider writes.
TEST_F(PasswordLogic, ConnectionChoice)
{
    TConnectionChoice choice;
    ASSERT_TRUE(choice.Read());
    EXPECT_EQ(choice.Mode(), 0);
    EXPECT_FALSE(choice.DefaultChosen());
    EXPECT_TRUE(choice.ProxyChosen("u", "p"));
    EXPECT_FALSE(choice.ProxyChosen("u", " "));
    EXPECT_FALSE(TConnectionChoice::FieldsChanged(" ", "p"));

    EXPECT_EQ(choice.Save(true, " ", "p"), kMsgEnterProxyUser);
    EXPECT_EQ(choice.Save(true, "u", ""), kMsgEnterProxyPassword);
    EXPECT_EQ(choice.Save(true, std::string(256, 'u'), "p"), kMsgEnterProxyUser); // refused, not cut
    EXPECT_EQ(choice.Mode(), 0);
    EXPECT_EQ(choice.Save(true, "u", "p"), kMsgSaved);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, P, "ProxyUser"), std::optional("u" + std::string(255, '\0')));
    EXPECT_TRUE(choice.DefaultChosen());
    EXPECT_FALSE(choice.ProxyChosen(" u", "p ")); // the stored ones: no change

    // The default mode keeps the proxy values.
    EXPECT_EQ(choice.Save(false, "", ""), kMsgSaved);
    TConnectionChoice again;
    ASSERT_TRUE(again.Read());
    EXPECT_EQ(again.Mode(), 0);
    EXPECT_EQ(again.ProxyUser(), "u");
    EXPECT_EQ(again.ProxyPassword(), "p");

    RegDeleteKeyA(HKEY_LOCAL_MACHINE, P.c_str());
    EXPECT_EQ(again.Save(false, "", ""), kMsgCannotSave);
    EXPECT_FALSE(again.Read());
}

} // namespace
