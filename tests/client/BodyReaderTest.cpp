#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/KesaBodyReader.h"
#include "client/KesaRequest.h"

namespace {

std::string Built(const CKesaRequest& request)
{
    BYTE* body = nullptr;
    const DWORD size = request.BuildBody(&body);
    std::string bytes(reinterpret_cast<char*>(body), size);
    std::free(body);
    return bytes;
}

// The whole body read in pieces whose sizes cycle through `sizes`.
std::string ReadAll(CKesaBodyReader& reader, const std::vector<size_t>& sizes)
{
    std::string out;
    std::vector<BYTE> piece;
    for (size_t i = 0;; ++i) {
        piece.assign(sizes[i % sizes.size()], 0);
        const size_t n = reader.Read(piece.data(), piece.size());
        if (n == 0) break;
        EXPECT_LE(n, piece.size());
        out.append(reinterpret_cast<char*>(piece.data()), n);
    }
    return out;
}

struct Fixture {
    std::string small = std::string("a\"\0\r\n\r\n", 7);
    std::string large;
    Fixture()
    {
        for (int i = 0; i < 300000; ++i) large += static_cast<char>(i * 13 + i / 251);
    }
    BYTE* Small() { return reinterpret_cast<BYTE*>(small.data()); }
    BYTE* Large() { return reinterpret_cast<BYTE*>(large.data()); }
};

// Requests of every shape: none, texts only, files of every size, empty names.
std::vector<std::function<void(CKesaRequest&, Fixture&)>> Shapes()
{
    return {
        [](CKesaRequest&, Fixture&) {},
        [](CKesaRequest& r, Fixture&) {
            r.AddArg("function", "StartGame");
            r.AddArg("UID", "u42");
        },
        [](CKesaRequest& r, Fixture& f) {
            r.AddArg("", "");
            r.AddFileArg("F", "", f.Small(), 3);
            r.AddFileArg("Z", "zero.pdb", f.Small(), 0); // written as a text
            r.AddFileArg("", "n.pdb", f.Small(), 7);
        },
        [](CKesaRequest& r, Fixture& f) {
            r.AddArg("function", "GetUpToDateCatalog");
            for (int i = 0; i < 5; ++i) r.AddFileArg("CatalogBinData", "Cat" + std::to_string(i) + ".pdb", f.Large(), 300000);
            r.AddArg("UID", std::string(5000, 'u'));
        },
    };
}

TEST(BodyReader, GivesTheBytesBuildBodyWritesInAnyPieceSizes)
{
    // Sizes libcurl asks for: its upload buffer, and odd ones across every piece edge.
    const std::vector<std::vector<size_t>> patterns = {
        {65536}, {1}, {2, 3, 5, 7, 11}, {40, 42, 44}, {16384, 13, 1, 4095}, {1 << 20}, {100000, 1, 99999},
    };
    Fixture f;
    for (const auto& shape : Shapes()) {
        CKesaRequest request;
        shape(request, f);
        const std::string expected = Built(request);
        for (const auto& sizes : patterns) {
            CKesaBodyReader reader(request);
            EXPECT_EQ(reader.Size(), request.BodySize());
            EXPECT_EQ(ReadAll(reader, sizes), expected) << request.GetArgCount() << " args, first piece " << sizes[0];
            EXPECT_EQ(reader.Position(), expected.size());
            BYTE extra = 0;
            EXPECT_EQ(reader.Read(&extra, 1), 0u); // stays at the end
        }
    }
}

TEST(BodyReader, SeeksAnywhereForAResend)
{
    Fixture f;
    for (const auto& shape : Shapes()) {
        CKesaRequest request;
        shape(request, f);
        const std::string expected = Built(request);
        CKesaBodyReader reader(request);
        // Every offset of small bodies; in large ones, around every part and piece edge.
        std::vector<size_t> offsets;
        const size_t step = expected.size() > 2000 ? expected.size() / 150 : 1;
        for (size_t at = 0; at <= expected.size(); at += step) offsets.push_back(at);
        for (size_t at = expected.find("\r\n"); at != std::string::npos; at = expected.find("\r\n", at + 1)) {
            if (at > 2) offsets.insert(offsets.end(), {at - 1, at, at + 1, at + 2});
        }
        offsets.push_back(expected.size());
        for (size_t at : offsets) {
            if (at > expected.size()) continue;
            ReadAll(reader, {4096}); // from wherever the last read stopped
            ASSERT_TRUE(reader.Seek(at));
            EXPECT_EQ(reader.Position(), at);
            ASSERT_EQ(ReadAll(reader, {65536, 3}), expected.substr(at)) << "from " << at;
        }
        EXPECT_FALSE(reader.Seek(expected.size() + 1));
    }
}

} // namespace
