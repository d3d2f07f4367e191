// Words frequent in French or in English, to tell a line of the other language.
#pragma once
#include <string>
#include <vector>

// Each is matched as a whole word, so that names such as "Anne" or "Norvelia"
// do not count; none is a word of the other language's texts.
inline const std::vector<std::string> kFrenchWords = {"le",  "la",   "les",   "des",  "du",          "est",
                                                      "avec", "pas", "une",   "été",  "aucun",       "aucune",
                                                      "sur", "dans", "fichier", "commande", "synchronisé"};
inline const std::vector<std::string> kEnglishWords = {"the",    "with",  "is",    "was",     "and",
                                                       "of",     "not",   "has",   "no",      "cannot",
                                                       "could",  "order", "file",  "channel", "synchronized",
                                                       "from"};

// The first of `words` (in lower case) that `line` holds as a word, in any
// case, or empty.
inline std::string ForeignWord(const std::string& line, const std::vector<std::string>& words)
{
    std::string padded = " ";
    for (char c : line) {
        const bool mark = std::string(",.:;()\"?!&'").find(c) != std::string::npos;
        padded += mark ? ' ' : c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    padded += ' ';
    for (const std::string& w : words)
        if (padded.find(" " + w + " ") != std::string::npos) return w;
    return {};
}

// The first of `lines` that holds one of `words`, with that word, or empty.
inline std::string ForeignLine(const std::vector<std::string>& lines, const std::vector<std::string>& words)
{
    for (const std::string& line : lines)
        if (const std::string word = ForeignWord(line, words); !word.empty()) return "\"" + word + "\" in: " + line;
    return {};
}
