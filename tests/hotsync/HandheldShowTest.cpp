// handheld show through the real program: what a shopper reads of the
// catalogs, lists and user context that catalogc builds, in both languages,
// and of databases damaged or made of hostile bytes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "quillio/PdbFile.h"
#include "records/AppInfo.h"
#include "records/CategoryRecord.h"
#include "records/ImageRecord.h"
#include "records/ItemRecord.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"

namespace {

const std::string kBin = NORV_BINARY_DIR "/bin/";
const std::string kSamples = NORV_SOURCE_DIR "/service/samples/catalogc/";

class HandheldShowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_Root.Path().empty());
        ASSERT_EQ(RunCommand(kBin + "handheld init " + Dir()).code, 0);
        for (const char* sample : {"catalog", "list", "user"}) {
            const std::string out = m_Root / (std::string(sample) + ".pdb");
            RunResult r = RunCommand(kBin + "catalogc " + kSamples + sample + ".json -o " + out);
            ASSERT_EQ(r.code, 0) << r.output;
            ASSERT_EQ(RunCommand(kBin + "handheld import " + Dir() + " " + out).code, 0);
        }
        Language("LexmoUs.dll");
    }
    std::string Dir() const { return m_Root / "palm"; }
    void Language(const std::string& catalog)
    {
        ASSERT_EQ(RunCommand(Env("C") + kBin + "norvreg set 'HKLM\\Software\\Norvelia\\Tidepost' MsgDll " + catalog).code,
                  0);
    }
    std::string Env(const std::string& locale) const
    {
        return "env -u LANG -u LC_TIME NORVELIA_REGISTRY=" + (m_Root / "registry.db") +
               " NORVELIA_MSGDIR=" NORV_SOURCE_DIR "/share/norvelia LC_ALL=" + locale + " ";
    }
    RunResult Show(const std::string& name, const std::string& locale = "C")
    {
        return RunCommand(Env(locale) + kBin + "handheld show " + Dir() + " '" + name + "'");
    }
    void Import(const CPdbFile& file)
    {
        const std::string path = m_Root / "made.pdb";
        ASSERT_TRUE(file.WritePdbFile(path.c_str()));
        ASSERT_EQ(RunCommand(kBin + "handheld import " + Dir() + " " + path).code, 0);
    }
    template <class Record>
    static void Add(CPdbFile& file, const Record& record, int category)
    {
        auto packed = record.CreatePdbRec();
        ASSERT_TRUE(packed);
        file.m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(packed->Buffer(), packed->Size()), BYTE(category));
    }
    static void SetAppInfo(CPdbFile& file, const CAppInfo& info)
    {
        auto packed = info.CreatePdbRec();
        file.m_AppInfo.assign(packed->Buffer(), packed->Buffer() + packed->Size());
    }

    TempDir m_Root{"handheld-show"};
};

TEST_F(HandheldShowTest, TheSamplesAsTheShopperReadsThem)
{
    const struct {
        std::string name, locale, catalog, text;
    } cases[] = {
        {"C7abc", "C", "LexmoUs.dll",
         "Catalog \"C7abc\"\n"
         "Le Petit Epicier\n"
         "Catalogue de printemps\n"
         "Epicerie fine\n"
         "\n"
         "The\n"
         "  The vert Sencha (ref. THE-VERT-01): 3.20\n"
         "    instead of 3,50 · Boissons · Vrac · 100 g\n"
         "    The vert du Japon, recolte de printemps.\n"
         "    Valid from 05/03/2001 to 06/30/2001\n"
         "    Picture \"logo\", 20 × 6\n"
         "       ▄▀▀▀▀▄    ▄▀▀▀▀▄\n"
         "      █  ██  ████  ██  ███\n"
         "       ▀▄▄▄▄▀    ▀▄▄▄▄▀\n"
         "\n"
         "Cafe\n"
         "  Cafe moulu (ref. CAFE-02): 4.50\n"
         "    250 g\n"
         "    Arabica d'Ethiopie.\n"
         "    No picture\n"},
        {"ListeC7", "C", "LexmoUs.dll",
         "List \"ListeC7\"\n"
         "Ma liste\n"
         "From the catalog C7abc\n"
         "Order: waiting to be sent (ordered on 05/04/2001 08:00)\n"
         "Deliver to \"maison\":\n"
         "  Anne Martin\n"
         "  12 rue des Lilas\n"
         "  75011 Paris\n"
         "  France\n"
         "Delivery charges: 5.90\n"
         "Comment: Sonner deux fois\n"
         "\n"
         "To buy  Qty  Item             Reference    Price\n"
         "yes       2  The vert Sencha  THE-VERT-01   3.20\n"
         "no        1  Cafe moulu       CAFE-02       4.50\n"
         "Total to buy: 6.40\n"},
        // French, dates day first: the locale need not be installed.
        {"ListeC7", "fr_FR.UTF-8", "Lexmo.dll",
         "Liste « ListeC7 »\n"
         "Ma liste\n"
         "Du catalogue C7abc\n"
         "Commande : en attente d'envoi (commandée le 04/05/2001 08:00)\n"
         "Livrer à « maison » :\n"
         "  Anne Martin\n"
         "  12 rue des Lilas\n"
         "  75011 Paris\n"
         "  France\n"
         "Frais de livraison : 5,90\n"
         "Commentaire : Sonner deux fois\n"
         "\n"
         "À acheter  Qté  Article          Référence    Prix\n"
         "oui          2  The vert Sencha  THE-VERT-01  3,20\n"
         "non          1  Cafe moulu       CAFE-02      4,50\n"
         "Total à acheter : 6,40\n"},
        // The password is never shown, not even its length.
        {"USERCTX", "C", "LexmoUs.dll",
         "Your addresses and account (\"USERCTX\")\n"
         "Service user id: anne.martin\n"
         "Password: kept on the handheld, not shown\n"
         "\n"
         "Addresses\n"
         "  \"maison\", known to the service as number 1\n"
         "    Anne Martin\n"
         "    12 rue des Lilas\n"
         "    75011 Paris\n"
         "    France\n"
         "  \"bureau\", known to the service as number 2\n"
         "    Anne Martin\n"
         "    3 avenue du Parc\n"
         "    Batiment B\n"
         "    92100 Boulogne\n"
         "    IDF\n"
         "    France\n"},
    };
    for (const auto& c : cases) {
        Language(c.catalog);
        const RunResult r = Show(c.name, c.locale);
        EXPECT_EQ(r.code, 0) << c.name << " " << c.locale;
        EXPECT_EQ(r.output, c.text) << c.name << " " << c.locale;
    }
}

TEST_F(HandheldShowTest, EachStateOfAnOrder)
{
    const DWORD may4 = 3071779200u; // 2001-05-04 00:00
    const struct {
        DWORD created, processed;
        std::string error, says;
    } cases[] = {
        {may4, 0, "", "Order: waiting to be sent (ordered on 05/04/2001 00:00)\n"},
        {may4, 0, "Timeout", "Order: waiting to be sent (ordered on 05/04/2001 00:00)\nLast attempt: Timeout\n"},
        {0, may4 + 3600, "", "Order: placed on 05/04/2001 01:00\n"},
        {0, 0, "Stock \x82puis\xe9 \x1b[2J", "Order: refused: Stock ‚puisé �[2J\n"},
        // The error is the last answer's: a date from before does not hide it.
        {0, may4, "Refused again", "Order: refused: Refused again\n"},
        {may4, may4 + 60, "", "Order: placed on 05/04/2001 00:01\n"},
        {0, 0, "", "Order: none\n"},
    };
    for (const auto& c : cases) {
        CPdbFile list("Orders", "KESA", "LIST", 0, 1, 0, 0);
        CAppInfo info;
        info.AddDisplayInfo(12); // a list with an order
        SetAppInfo(list, info);
        COrderInfo order;
        order.SetCreationDate(c.created ? CPdbPackedRecord::DWordToW3CDateString(c.created) : "", "W3C");
        order.SetProcessDate(c.processed ? CPdbPackedRecord::DWordToW3CDateString(c.processed) : "", "W3C");
        order.SetErrorMessage(c.error);
        Add(list, order, 5);
        Import(list);
        const RunResult r = Show("Orders");
        EXPECT_EQ(r.code, 0) << c.says;
        EXPECT_NE(r.output.find("\n" + c.says + "\nNo line\n"), std::string::npos) << r.output;
    }
}

// Whatever the records hold, the text holds no control character, and a
// damaged or foreign database says so.
TEST_F(HandheldShowTest, HostileAndDamagedDatabases)
{
    CPdbFile catalog("Odd\x1b]0;x\x07", "KESA", "CATA", 0, 1, 0, 0);
    // Categories in a loop, and one a long chain below them.
    for (unsigned id = 1; id <= 300; ++id) {
        CCategoryRecord c;
        c.SetCategory(std::to_string(id));
        c.SetSuperCategory(std::to_string(id == 1 ? 2 : id == 2 ? 1 : id - 1));
        c.SetName("C" + std::to_string(id));
        Add(catalog, c, 2);
    }
    CItemRecord item;
    item.SetCategory("300");
    item.SetName("Caf\xe9\t\x80\x81\r\nline\x1b[31m");
    item.SetImageName("pic");
    Add(catalog, item, 1);
    // A picture whose header claims more rows than it has.
    const BYTE lying[] = {'p', 'i', 'c', 0, 0x7F, 0xFF, 0x7F, 0xFF, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0};
    catalog.m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(lying, long(sizeof lying)), 3);
    // A record cut short, and one deleted.
    const BYTE cut[] = {0, 0, 0, 3};
    catalog.m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(cut, long(sizeof cut)), 1);
    CItemRecord gone;
    gone.SetName("deleted item");
    Add(catalog, gone, 1);
    catalog.m_RecordSet.GetRecord(catalog.m_RecordSet.GetCount() - 1)->m_Attrib |= 0x80;
    Import(catalog);

    RunResult r = Show("Odd\x1b]0;x\x07");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find('\x07'), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Catalog \"Odd�]0;x�\"\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("  Café €� line�[31m (ref. ): 0.00\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("    Picture \"pic\": 16 bytes that make no image\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\nItems without a category\n   (ref. ): 0.00\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("deleted item"), std::string::npos) << r.output;
    // Every category once, the chain no deeper than eight levels.
    for (int id : {1, 2, 3, 299, 300})
        EXPECT_NE(r.output.find("C" + std::to_string(id) + "\n"), std::string::npos) << id;
    EXPECT_NE(r.output.find("\nC1\n\n  C2\n\n    C3\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\n" + std::string(16, ' ') + "C300\n"), std::string::npos) << r.output;
    EXPECT_LT(r.output.size(), 20000u);

    // A database of another creator is no shopper's data; dump shows it.
    CPdbFile memo("Memo", "memo", "DATA", 0, 1, 0, 0);
    Import(memo);
    const std::string cut2 = m_Root / "palm/C7abc.pdb";
    std::string whole = ReadAll(cut2);
    std::ofstream(cut2, std::ios::binary | std::ios::trunc) << whole.substr(0, whole.size() - 40);
    const struct {
        std::string args;
        int code;
        std::string says;
    } failures[] = {
        {"show " + Dir() + " Memo", 1,
         "handheld: \"Memo\" is not a catalog, a list or the user context of the service: \"handheld dump\" shows its "
         "records.\n"},
        {"show " + Dir() + " C7abc", 1,
         "This database is damaged: only what could be read is shown.\nCatalog \"C7abc\"\n"},
        {"show " + Dir() + " C7abc", 1, "handheld: C7abc is damaged: \"handheld dump\" shows where\n"},
        {"show " + Dir() + " Nothing", 1, "handheld: no database named \"Nothing\" on " + Dir() + "\n"},
        {"show " + (m_Root / "none") + " C7abc", 2, "handheld: no handheld at " + (m_Root / "none") + "\n"},
        {"show " + Dir(), 2, "NAME is required"},
    };
    for (const auto& f : failures) {
        r = RunCommand(Env("C") + kBin + "handheld " + f.args);
        EXPECT_EQ(r.code, f.code) << f.args << r.output;
        EXPECT_NE(r.output.find(f.says), std::string::npos) << f.args << r.output;
    }
}

} // namespace
