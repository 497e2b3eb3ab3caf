#include <gtest/gtest.h>

#include <string>

#include "player/MediaLocation.h"

namespace {

TEST(DvdLocation, EscapesAllButUnreservedCharactersAndSlashes) {
    struct Case {
        std::string path, location;
    } cases[] = {
        {"/dev/sr0", "dvd:///dev/sr0"},
        {"/media/Films/A-b_c.d~e/VIDEO_TS", "dvd:///media/Films/A-b_c.d~e/VIDEO_TS"},
        {"/disc #5 100%41", "dvd:///disc%20%235%20100%2541"},
        {"/q?a=b&c;d", "dvd:///q%3Fa%3Db%26c%3Bd"},
        {"/x:y@z!$'()*+,[]", "dvd:///x%3Ay%40z%21%24%27%28%29%2A%2B%2C%5B%5D"},
        {"/tab\tnew\nline\\back\"q<>{}|^`",
         "dvd:///tab%09new%0Aline%5Cback%22q%3C%3E%7B%7D%7C%5E%60"},
        // UTF-8 byte by byte, upper-case hex; a lone high byte as well.
        {"/ディスク 1", "dvd:///%E3%83%87%E3%82%A3%E3%82%B9%E3%82%AF%201"},
        {"/caf\xC3\xA9/\xFF", "dvd:///caf%C3%A9/%FF"},
        {"//double//slash/", "dvd:////double//slash/"},
        {"relative/disc.iso", "dvd://relative/disc.iso"},
        {"", "dvd://"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DvdLocation(c.path), c.location) << c.path;
    }
}

}  // namespace
