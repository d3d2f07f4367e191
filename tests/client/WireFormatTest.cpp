#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "MessagesFixture.h"
#include "Multipart.h"
#include "client/FindBytes.h"
#include "client/KesaRequest.h"
#include "client/KesaResponse.h"
#include "quillio/KesaError.h"

namespace {

using namespace multipart;

std::string Body(const CKesaRequest& request)
{
    BYTE* body = nullptr;
    const DWORD size = request.BuildBody(&body);
    std::string bytes(reinterpret_cast<char*>(body), size);
    std::free(body);
    return bytes;
}

// A response parsed from a copy of `answer` (the response takes a malloc'd buffer).
std::unique_ptr<CKesaResponse> Parse(const std::string& answer, bool* ok = nullptr)
{
    auto* buffer = static_cast<BYTE*>(std::malloc(answer.size() ? answer.size() : 1));
    std::memcpy(buffer, answer.data(), answer.size());
    auto response = std::make_unique<CKesaResponse>();
    const bool parsed = response->InitializeFromBuffer(buffer, static_cast<DWORD>(answer.size()));
    if (ok) *ok = parsed;
    return response;
}

std::string Data(const CKesaHttpArg* arg) { return std::string(reinterpret_cast<const char*>(arg->GetData()), arg->GetLength()); }

int Find(const std::string& hay, const std::string& needle)
{
    return FindBytes(reinterpret_cast<const BYTE*>(hay.data()), static_cast<DWORD>(hay.size()),
                     reinterpret_cast<const BYTE*>(needle.data()), static_cast<DWORD>(needle.size()));
}

class RequestBody : public MessagesTest {};
class AnswerParser : public MessagesTest {};

TEST_F(RequestBody, WorkedExampleIs241BytesByteForByte)
{
    CKesaRequest request;
    request.AddArg("function", "StartGame");
    request.AddArg("UID", "u42");
    const std::string expected =
        "-----------------------------7d02e419b08\r\n"
        "Content-Disposition: form-data; name=\"function\"\r\n"
        "\r\n"
        "StartGame\r\n"
        "-----------------------------7d02e419b08\r\n"
        "Content-Disposition: form-data; name=\"UID\"\r\n"
        "\r\n"
        "u42\r\n"
        "-----------------------------7d02e419b08--\r\n";
    EXPECT_EQ(Body(request), expected);
    EXPECT_EQ(expected.size(), 241u);
    EXPECT_EQ(request.BodySize(), 241u);
    EXPECT_EQ(request.GetArg(0)->Size(), 87u + 8 + 9);
}

TEST_F(RequestBody, NoArgumentsIsTheClosingLineAlone)
{
    CKesaRequest request;
    EXPECT_EQ(Body(request), "-----------------------------7d02e419b08--\r\n");
}

TEST_F(RequestBody, FileArgumentsAndTheirSizes)
{
    BYTE data[] = {'a', '"', 0};
    CKesaRequest request;
    request.AddFileArg("IODBinData", "", data, 3);
    EXPECT_EQ(request.GetArg(0)->Size(), 143u + 10);
    EXPECT_EQ(Body(request), FilePart("IODBinData", "", std::string("a\"\0", 3)) + Closing());

    // A file of no bytes goes as a text argument whose value is the file name.
    CKesaRequest empty;
    empty.AddFileArg("F", "x.pdb", data, 0);
    EXPECT_EQ(empty.GetArg(0)->Size(), 87u + 1 + 5);
    EXPECT_EQ(Body(empty), TextPart("F", "x.pdb") + Closing());

    // Mixed, in order, texts written as they are (no escaping).
    CKesaRequest mixed;
    mixed.AddArg("a\"b", "line\r\nbreak");
    mixed.AddFileArg("f", "n.pdb", data, 2);
    mixed.AddArg("", "");
    EXPECT_EQ(Body(mixed), TextPart("a\"b", "line\r\nbreak") + FilePart("f", "n.pdb", "a\"") + TextPart("", "") + Closing());
}

TEST_F(RequestBody, CopyToBufferRefusesWhatDoesNotFit)
{
    CKesaRequest request;
    request.AddArg("UID", "u42");
    const CKesaHttpArg* arg = request.GetArg(0);
    std::string buffer(200, 'x');
    auto* out = reinterpret_cast<BYTE*>(buffer.data());
    EXPECT_EQ(arg->CopyToBuffer(out, 10, 10 + 93), 103u);
    EXPECT_EQ(buffer.substr(10, 93), TextPart("UID", "u42"));
    EXPECT_EQ(buffer[9], 'x');
    EXPECT_EQ(buffer[103], 'x');
    try {
        arg->CopyToBuffer(out, 11, 10 + 93);
        FAIL() << "no error";
    } catch (const CKesaError& e) {
        EXPECT_EQ(e.Number(), 2002);
        EXPECT_EQ(e.Argument(), KESA_FormatMessage(2002, "CKesaHttpArg::CopyToBuffer"));
        EXPECT_EQ(e.Argument(), "La requête est trop volumineuse (CKesaHttpArg::CopyToBuffer).");
    }
    // An offset at the top of the range must not wrap around the test.
    EXPECT_THROW(arg->CopyToBuffer(out, UINT32_MAX - 10, UINT32_MAX), CKesaError);
}

TEST_F(RequestBody, AFileOfNearly4GiBIsRefusedBeforeAnyByteIsWritten)
{
    // Its size, head included, does not fit in 32 bits: a 32-bit sum would wrap to
    // a few dozen bytes and pass the test. The bytes are never read.
    BYTE few[16] = {};
    CKesaRequest request;
    request.AddFileArg("F", "", few, UINT32_MAX - 100);
    const CKesaHttpArg* arg = request.GetArg(0);
    std::string buffer(300, 'x');
    try {
        arg->CopyToBuffer(reinterpret_cast<BYTE*>(buffer.data()), 0, 300);
        FAIL() << "no error";
    } catch (const CKesaError& e) {
        EXPECT_EQ(e.Number(), 2002);
    }
    EXPECT_EQ(buffer, std::string(300, 'x'));
    BYTE* body = nullptr;
    EXPECT_THROW(request.BuildBody(&body), CKesaError);
    EXPECT_EQ(body, nullptr);
}

TEST_F(RequestBody, ParsesBackIntoTheSameArguments)
{
    std::string bin("\0\r\n\r\n\"; name=\"x\"\xff", 17);
    CKesaRequest request;
    request.AddArg("function", "ProcessList");
    request.AddFileArg("IODBinData", "List.pdb", reinterpret_cast<BYTE*>(bin.data()), static_cast<DWORD>(bin.size()));
    request.AddArg("UID", "u1");
    bool ok = false;
    auto response = Parse(Body(request), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(response->GetArgCount(), 3);
    EXPECT_EQ(response->GetArg(0)->GetValue(), "ProcessList");
    EXPECT_EQ(response->GetArg(1)->GetName(), "IODBinData");
    EXPECT_EQ(response->GetArg(1)->GetValue(), "List.pdb");
    EXPECT_EQ(Data(response->GetArg(1)), bin);
    EXPECT_EQ(response->GetArg(2)->GetValue(), "u1");
}

TEST_F(AnswerParser, ShortAnswers)
{
    bool ok = true;
    Parse(std::string(39, '-'), &ok);
    EXPECT_FALSE(ok);
    Parse("", &ok);
    EXPECT_FALSE(ok);
    auto forty = Parse(B, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(forty->GetArgCount(), 0);
    auto fortyOne = Parse(B + "\r", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(fortyOne->GetArgCount(), 0);
    // No second boundary, or one right after the first: no arguments.
    EXPECT_EQ(Parse(B + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nv\r\n")->GetArgCount(), 0);
    EXPECT_EQ(Parse(B + "\r\n" + Closing())->GetArgCount(), 0);
}

TEST_F(AnswerParser, PartsInOrderAndFindArg)
{
    const std::string answer = TextPart("Message", "first") + TextPart("CDL", ";A;;B;") + TextPart("Message", "second") +
                               FilePart("CatalogBinData", "Cat.pdb", "PDB") + Closing();
    bool ok = false;
    auto response = Parse(answer, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(response->GetArgCount(), 4);
    EXPECT_EQ(response->GetArg(1)->GetName(), "CDL");
    EXPECT_EQ(response->GetArg(1)->GetValue(), ";A;;B;");
    EXPECT_EQ(response->GetArg(1)->GetLength(), 0u);
    ASSERT_NE(response->FindArg("Message"), nullptr);
    EXPECT_EQ(response->FindArg("Message")->GetValue(), "first");
    EXPECT_EQ(response->FindArg("message"), nullptr);
    EXPECT_EQ(response->FindArg("Absent"), nullptr);
    CKesaHttpArg* cat = response->FindArg("CatalogBinData");
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(cat->GetValue(), "Cat.pdb");
    EXPECT_EQ(Data(cat), "PDB");
    // The bytes point into the answer buffer, which the response owns.
    EXPECT_GE(cat->GetData(), response->GetBuffer());
    EXPECT_LT(cat->GetData(), response->GetBuffer() + response->GetBufferLength());
}

TEST_F(AnswerParser, ValuesKeepTheirBytes)
{
    // A text value ending in CR LF keeps it; only the two bytes before the boundary go.
    auto r1 = Parse(TextPart("T", "v\r\n") + Closing());
    ASSERT_EQ(r1->GetArgCount(), 1);
    EXPECT_EQ(r1->GetArg(0)->GetValue(), "v\r\n");
    // File data may hold blank lines and quotes: only the first blank line after the file name ends the head.
    const std::string data("x\r\n\r\n\"y\"\r\n\r\n\0z", 14);
    auto r2 = Parse(FilePart("F", "f.pdb", data) + Closing());
    ASSERT_EQ(r2->GetArgCount(), 1);
    EXPECT_EQ(Data(r2->GetArg(0)), data);
    // Any 40 bytes serve as the boundary; the head is not otherwise looked at.
    const std::string other(40, '=');
    auto r3 = Parse(other + "\r\nX; name=\"k\"\r\n\r\nval\r\n" + other + "--\r\n");
    ASSERT_EQ(r3->GetArgCount(), 1);
    EXPECT_EQ(r3->GetArg(0)->GetName(), "k");
    EXPECT_EQ(r3->GetArg(0)->GetValue(), "val");
    // An empty value.
    auto r4 = Parse(TextPart("E", "") + Closing());
    ASSERT_EQ(r4->GetArgCount(), 1);
    EXPECT_EQ(r4->GetArg(0)->GetValue(), "");
}

TEST_F(AnswerParser, TextWithTheFileNameMarkerIsTakenForAFile)
{
    auto response = Parse(TextPart("T", "a; filename=\"b\"\r\n\r\ndata") + Closing());
    ASSERT_EQ(response->GetArgCount(), 1);
    EXPECT_EQ(response->GetArg(0)->GetValue(), "b");
    EXPECT_EQ(Data(response->GetArg(0)), "data");
}

TEST_F(AnswerParser, MalformedPartsRaise2004)
{
    const std::string cases[] = {
        // no name marker
        B + "\r\nContent-Disposition: form-data\r\n\r\nv\r\n" + Closing(),
        // a name without its closing quote
        B + "\r\nContent-Disposition: form-data; name=\"abc\r\n\r\nv\r\n" + Closing(),
        // a file name without its closing quote
        B + "\r\nContent-Disposition: form-data; name=\"a\"; filename=\"f\r\n\r\nv\r\n" + Closing(),
        // a head without a blank line
        B + "\r\nContent-Disposition: form-data; name=\"a\"\r\nv\r\n" + Closing(),
        // a blank line that leaves no room for the line end before the boundary
        B + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nX" + Closing(),
        // a good part, then a bad one: nothing is kept
        TextPart("ok", "1") + B + "\r\nno name here\r\n\r\n\r\n" + Closing(),
    };
    for (const auto& answer : cases) {
        auto* buffer = static_cast<BYTE*>(std::malloc(answer.size()));
        std::memcpy(buffer, answer.data(), answer.size());
        CKesaResponse response;
        try {
            response.InitializeFromBuffer(buffer, static_cast<DWORD>(answer.size()));
            ADD_FAILURE() << "no error for: " << answer;
        } catch (const CKesaError& e) {
            EXPECT_EQ(e.Number(), 2004);
            EXPECT_EQ(e.Argument(),
                      "La réponse du serveur Norvelia est mal formée (CKesaResponse::InitializeFromBuffer - 1).");
        }
    }
}

TEST(FindBytesTest, Contract)
{
    EXPECT_EQ(Find("abcabc", "bc"), 1);
    EXPECT_EQ(Find("xxabc", "abc"), -1);  // would end exactly at the end
    EXPECT_EQ(Find("xxabcy", "abc"), 2);
    EXPECT_EQ(Find("abc", "abc"), -1);    // needle not shorter than haystack
    EXPECT_EQ(Find("ab", "abc"), -1);
    EXPECT_EQ(Find("", ""), -1);
    EXPECT_EQ(Find(std::string("a\0b\0c", 5), std::string("b\0", 2)), 2);
    // A long haystack of near misses (a quadratic search would crawl here).
    std::string hay(8 << 20, 'a');
    std::string needle(4000, 'a');
    needle.back() = 'b';
    EXPECT_EQ(Find(hay, needle), -1);
    hay.replace(hay.size() - 10 - needle.size(), needle.size(), needle);
    EXPECT_EQ(Find(hay, needle), static_cast<int>(hay.size() - 10 - needle.size()));
}

} // namespace
