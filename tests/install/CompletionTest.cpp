// The bash completions of hotsync, handheld and norvreg, asked as bash asks
// them: the words typed so far, the word under the cursor.
#include <gmock/gmock.h>

#include <fstream>

#include "common/TestFiles.h"
#include "common/TestRun.h"

namespace {

// What the completion function of `program` offers for the command line
// `line`, the cursor at its end; the words sorted, one a line.
std::string Offered(const std::string& program, const std::string& line, const std::string& dir)
{
    const TempDir scripts;
    std::ofstream script(scripts / "complete.sh");
    script << "shopt -s extglob\n"
           << "source '" NORV_SOURCE_DIR "/share/bash-completion/" << program << "'\n"
           << "cd '" << dir << "'\n"
           << "line=$(cat <<'END'\n" << line << "\nEND\n)\n"
           << "read -r -a COMP_WORDS <<< \"$line\"\n"
           << "[[ $line == *' ' ]] && COMP_WORDS+=('')\n"
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

    const struct {
        const char* program;
        const char* line;
        const char* offered;
    } cases[] = {
        {"hotsync", "hotsync ", "--help\n--home\n--version\nconfigure\ninfo\nrestore\nsync\nuser\n"},
        {"hotsync", "hotsync s", "sync\n"},
        {"hotsync", "hotsync --home pa", "palm\n"},
        {"hotsync", "hotsync --home palm u", "user\n"},
        {"hotsync", "hotsync user ", "--help\nadd\nlist\n"},
        {"hotsync", "hotsync sync --user Anne --",
         "--conduit\n--handheld\n--help\n--no\n--no-backup\n--quiet\n--sync-type\n--user\n--yes\n"},
        {"hotsync", "hotsync restore --user Anne --", "--from\n--generation\n--handheld\n--help\n--list\n--user\n"},
        {"hotsync", "hotsync configure --user Anne --b", "--backups\n"},
        {"hotsync", "hotsync sync --handheld p", "palm\npdbs\n"},
        {"hotsync", "hotsync sync --sync-type ", "0\n1\n2\n3\n4\n5\n6\n7\n"},
        {"hotsync", "hotsync configure --action ", "0\n1\n2\n3\n"},
        {"handheld", "handheld ", "--help\n--version\ndump\nexport\nimport\ninit\nlist\nremove\n"},
        {"handheld", "handheld init --", "--help\n--user\n--user-id\n"},
        {"handheld", "handheld dump pa", "palm\n"},
        {"handheld", "handheld dump palm ", "C7cat\nMes courses\nNorvelia\n"},
        {"handheld", "handheld remove palm M", "Mes courses\n"},
        {"handheld", "handheld export palm C7cat ", "defaults.reg\nnotes.txt\npalm\npdbs\n"},
        {"handheld", "handheld import palm pdbs/", "pdbs/a.pdb\n"},
        {"norvreg", "norvreg ", "--help\n--store\n--version\ndelete\nexport\nget\nimport\nlist\nset\n"},
        {"norvreg", "norvreg import ", "defaults.reg\npalm/\npdbs/\n"},
        {"norvreg", "norvreg set -t ", "binary\ndword\nexpand_sz\nsz\n"},
        {"norvreg", "norvreg get HKC", "HKCU\\Software\\Norvelia\\Tidepost\n"},
        {"norvreg", "norvreg export -", "--help\n--output\n-o\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Offered(c.program, c.line, dir.Path()), c.offered) << c.line;

    // --from offers the handhelds a user's Backup folder holds, not a run's work folder.
    TempDir home;
    for (const char* set : {"Anne/Backup/palm-0123abcd", "Anne/Backup/pda-4567ef01", "Anne/Backup/.new.x"})
        std::filesystem::create_directories(home / set);
    const std::string line = "hotsync --home " + home.Path() + " restore --user Anne --from ";
    EXPECT_EQ(Offered("hotsync", line, dir.Path()), "palm-0123abcd\npda-4567ef01\n");
    EXPECT_EQ(Offered("hotsync", line + "pa", dir.Path()), "palm-0123abcd\n");
    EXPECT_EQ(Offered("hotsync", line + "palm-0123abcd --l", dir.Path()), "--list\n");
}
