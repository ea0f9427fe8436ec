// The marker's digest is the standard SHA-256: markers written by earlier versions must still verify.

#include "FolderIcons/FolderIcons.h"

#include <gtest/gtest.h>

#include <string>

TEST(Digest, IsSha256InLowerCaseHex) {
    struct Case {
        std::string input;
        std::string expected;
    } const cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string("\0\xff\x80", 3), "f742b965f156c10374bc23aea96e3a8aff8facd6fc079defeaa30219ad86f211"},  // not text
    };
    for (const Case& c : cases) {
        const std::string d = FolderIcons::digest(FolderIcons::Bytes(c.input.begin(), c.input.end()));
        EXPECT_EQ(d, c.expected) << c.input.size() << " bytes";
    }
}
