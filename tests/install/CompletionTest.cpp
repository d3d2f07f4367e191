// The bash completions of hotsync, handheld and norvreg, asked as bash asks
// them: the words typed so far, the word under the cursor.
#include <gmock/gmock.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "common/TestRun.h"

namespace {

// What the completion function of `program` offers for the command line
// `line`, the cursor at its end; the words sorted, one a line. The line is cut
// into words as bash cuts it for completion: at spaces, but not at escaped
// ones, the words kept as typed.
std::string Offered(const std::string& program, const std::string& line, const std::string& dir,
                    const std::string& home = "")
{
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') {
            words.emplace_back();
            continue;
        }
        if (line[i] == '\\' && i + 1 < line.size()) words.back() += line[i++];
        words.back() += line[i];
    }
    const TempDir scripts;
    std::ofstream script(scripts / "complete.sh");
    script << "shopt -s extglob\n"
           << "export PATH='" NORV_BINARY_DIR "/bin':\"$PATH\" HOME='" << dir << "' HOTSYNC_HOME='" << home << "'\n"
           << "source '" NORV_SOURCE_DIR "/share/bash-completion/" << program << "'\n"
           << "cd '" << dir << "'\n"
           << "COMP_WORDS=(";
    for (const std::string& w : words) {
        script << " '";
        for (char c : w) script << (c == '\'' ? std::string("'\\''") : std::string(1, c));
        script << "'";
    }
    script << ")\n"
           << "COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))\n"
           << "_" << program << " 2>/dev/null\n"
           << "printf '%s\\n' \"${COMPREPLY[@]}\" | sort\n";
    script.close();
    return RunCommand("bash '" + scripts / "complete.sh" + "'").output;
}

} // namespace

TEST(BashCompletion, OffersSubcommandsOptionsAndFiles)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "palm");
    std::filesystem::create_directories(dir / "pdbs");
    for (const char* file : {"palm/C7cat.pdb", "palm/Mes courses.pdb", "palm/Norvelia.prc", "pdbs/a.pdb", "pdbs/b.txt",
                             "defaults.reg", "notes.txt"})
        std::ofstream(dir / file) << "x";

    const std::string home = dir / "home";
    ASSERT_EQ(RunCommand("HOTSYNC_HOME='" + home + "' " NORV_BINARY_DIR "/bin/hotsync user add 'Anne Back\\slash'").code, 0);
    ASSERT_EQ(RunCommand("HOTSYNC_HOME='" + home + "' " NORV_BINARY_DIR "/bin/hotsync user add Bob").code, 0);

    const struct {
        const char* program;
        const char* line;
        const char* offered;
    } cases[] = {
        {"hotsync", "hotsync ", "--help\n--home\n--version\nconfigure\ninfo\nrestore\nschedule\nsync\nuser\n"},
        {"hotsync", "hotsync s", "schedule\nsync\n"},
        {"hotsync", "hotsync --home pa", "palm\n"},
        {"hotsync", "hotsync --home palm u", "user\n"},
        {"hotsync", "hotsync user ", "--help\nadd\nlist\nremove\nrename\n"},
        {"hotsync", "hotsync user remove ", "Anne\\ Back\\\\slash\nBob\n"},
        {"hotsync", "hotsync schedule --user Anne --every ", "12h\n1h\n24h\n2h\n30min\n6h\n"},
        {"hotsync", "hotsync schedule --user Anne --", "--daily\n--every\n--handheld\n--help\n--off\n--user\n"},
        {"hotsync", "hotsync sync --user Anne --no-", "--no-backup\n"},
        {"hotsync", "hotsync sync --user ", "Anne\\ Back\\\\slash\nBob\n"},
        {"hotsync", "hotsync sync --user Anne\\ B", "Anne\\ Back\\\\slash\n"},
        {"hotsync", "hotsync restore --user Anne --", "--from\n--generation\n--handheld\n--help\n--list\n--user\n--yes\n"},
        {"hotsync", "hotsync configure --user Anne --b", "--backups\n"},
        {"hotsync", "hotsync sync --handheld p", "palm\npdbs\n"},
        {"hotsync", "hotsync sync --sync-type ", "0\n1\n2\n3\n4\n5\n6\n7\n"},
        {"hotsync", "hotsync configure --action ", "0\n1\n2\n3\n"},
        {"handheld", "handheld ", "--help\n--version\ndump\nexport\nimport\ninit\nlist\nremove\nshow\n"},
        {"handheld", "handheld init --", "--force\n--help\n--user\n--user-id\n"},
        {"handheld", "handheld dump pa", "palm\n"},
        {"handheld", "handheld dump palm ", "C7cat\nMes\\ courses\nNorvelia\n"},
        {"handheld", "handheld dump ~/palm Mes", "Mes\\ courses\n"},
        {"handheld", "handheld remove palm Mes\\ c", "Mes\\ courses\n"},
        {"handheld", "handheld show palm C", "C7cat\n"},
        {"handheld", "handheld export palm C7cat ", "defaults.reg\nhome\nnotes.txt\npalm\npdbs\n"},
        {"handheld", "handheld import palm pdbs/", "pdbs/a.pdb\n"},
        {"norvreg", "norvreg ", "--help\n--store\n--version\ndelete\nexport\nget\nimport\nlist\nset\n"},
        {"norvreg", "norvreg import ", "defaults.reg\nhome\npalm\npdbs\n"},
        {"norvreg", "norvreg set -t ", "binary\ndword\nexpand_sz\nsz\n"},
        {"norvreg", "norvreg get HKC", "HKCU\\\\Software\\\\Norvelia\\\\Tidepost\n"},
        {"norvreg", "norvreg list HKLM\\\\S", "HKLM\\\\Software\\\\Norvelia\\\\Tidepost\n"},
        {"norvreg", "norvreg export -", "--help\n--output\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Offered(c.program, c.line, dir.Path(), home), c.offered) << c.line;

    // --from offers the handhelds a user's Backup folder holds, not a run's work folder.
    TempDir backups;
    for (const char* set : {"Anne/Backup/palm-0123abcd", "Anne/Backup/pda-4567ef01", "Anne/Backup/.new.x"})
        std::filesystem::create_directories(backups / set);
    const std::string line = "hotsync --home " + backups.Path() + " restore --user Anne --from ";
    EXPECT_EQ(Offered("hotsync", line, dir.Path()), "palm-0123abcd\npda-4567ef01\n");
    EXPECT_EQ(Offered("hotsync", line + "pa", dir.Path()), "palm-0123abcd\n");
    EXPECT_EQ(Offered("hotsync", line + "palm-0123abcd --l", dir.Path()), "--list\n");
}
