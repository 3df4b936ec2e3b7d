#include "system/BasicPath.h"
#include "system/EfsPathTraits.h"
#include "system/Win32PathTraits.h"

#include "lang/TraceSink.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

using namespace std::string_literals;
using System::RootType;

using EfsPath = System::BasicPath<Marl::Efs::PathTraits>;
using HostPath = System::BasicPath<System::Win32::PathTraits>;

static_assert(std::is_base_of_v<Lang::Exception, EfsPath::Exception>);
static_assert(std::is_base_of_v<Lang::Exception, HostPath::Exception>);
static_assert(!std::is_same_v<EfsPath::Exception, HostPath::Exception>);

namespace {

enum Rules { Handset, Host, Both };

const std::string kTooManyDots = "... is illegal";
const std::string kDotsBeforeText = "..<anything> is illegal";
const std::string kMalformedVolume = "Malformed Volume";
const std::string kHostChars = "paths may not contain any of the following: :*?\"<>|\\r\\n\\b\\0";

struct Case {
    Rules rules;
    std::u16string input;
    // Parsed: the text (with "/" standing for the host's "\" in cases of
    // both rules), the kind and length of the root.
    std::u16string text;
    RootType rootType;
    std::uint32_t rootLength;
    // Refused: the reason, the throw site and the working text the message
    // quotes, in Windows-1252.
    std::string reason;
    unsigned site;
    std::string quoted;
};

Case yields(Rules rules, std::u16string input, std::u16string text,
            RootType type = RootType::Relative, std::uint32_t rootLength = 0)
{
    return {rules, std::move(input), std::move(text), type, rootLength, "", 0, ""};
}

Case refuses(Rules rules, std::u16string input, std::string reason, unsigned site,
             std::string quoted)
{
    return {rules, std::move(input),  u"",  RootType::Relative,
            0,     std::move(reason), site, std::move(quoted)};
}

std::vector<Case> cases()
{
    const auto A = RootType::Absolute;
    const auto V = RootType::Volume;
    const auto N = RootType::Network;
    std::vector<Case> all = {
        // Dots and separators
        yields(Both, u"a/./b", u"a/b"),
        yields(Both, u"a/b/../c", u"a/c"),
        yields(Both, u"a/..", u""),
        yields(Both, u"./a", u"a"),
        yields(Both, u"../a", u"../a"),
        yields(Both, u"a/../../b", u"../b"),
        yields(Both, u"a/b/../../..", u".."),
        yields(Both, u"/a/../../b", u"/../b", A, 1),
        yields(Both, u"a//b", u"a//b"),
        yields(Both, u"a//../b", u"a/b"),
        yields(Both, u"a//", u"a/"),
        yields(Both, u"a/b/", u"a/b"),
        yields(Both, u"a/./", u"a"),
        yields(Both, u"a/b/.", u"a/b"),
        yields(Both, u"a/b/..", u"a"),
        yields(Both, u"..", u".."),
        yields(Both, u".", u""),
        // The separator left after "./" starts the text, yet the root was read
        // before it appeared: the path stays relative.
        yields(Both, u".//a", u"/a"),
        yields(Both, u"x/a.../y", u"x/a.../y"),
        yields(Both, u".a", u".a"),
        refuses(Both, u"...", kTooManyDots, 234, "..."),
        refuses(Handset, u"a/.../b", kTooManyDots, 234, "a/.../b"),
        refuses(Host, u"a/.../b", kTooManyDots, 234, "a\\.../b"),
        yields(Handset, u"..x", u"..x"),
        refuses(Host, u"..x", kDotsBeforeText, 242, "..x"),
        // Blanks and quotes
        yields(Both, u"", u""),
        yields(Both, u"   ", u""),
        yields(Both, u"''", u""),
        yields(Both, u"'", u""),
        yields(Both, u"\"", u""),
        yields(Both, u"  'a/b'  ", u"a/b"),
        yields(Both, u"\u3000\t a b\u2028", u"a b"),
        yields(Both, u"\"a'", u"a"),
        yields(Both, u"''a''", u"'a'"),
        yields(Both, u"' a '", u" a "),
        // Roots
        yields(Both, u"/", u"/", A, 1),
        yields(Both, u"//srv", u"//srv", N, 5),
        yields(Both, u"//srv/", u"//srv/", N, 6),
        yields(Both, u"//srv/share", u"//srv/share/", N, 12),
        yields(Both, u"//srv/share/x/", u"//srv/share/x", N, 12),
        yields(Both, u"//srv/share/..", u"//srv/share/..", N, 12),
        yields(Host, u"\\\\srv/share", u"\\\\srv\\share\\", N, 12),
        yields(Host, u"/a\\b/", u"\\a\\b", A, 1),
        yields(Handset, u"\\a", u"\\a"),
        yields(Host, u"C:/dir/x/", u"C:\\dir\\x", V, 3),
        yields(Host, u"C:", u"C:\\", V, 3),
        yields(Host, u"C:\\", u"C:\\", V, 3),
        yields(Host, u"C:\\\\", u"C:\\", V, 3),
        yields(Host, u"\u00e9:\\x", u"\u00e9:\\x", V, 3),
        refuses(Host, u"C:x", kMalformedVolume, 143, "C:x"),
        refuses(Host, u"1:", kHostChars, 252, "1:"),
        refuses(Host, u"C:/a:b", kHostChars, 252, "C:\\a:b"),
        yields(Handset, u"C:x", u"C:x"),
        yields(Handset, u"C:\\a:b", u"C:\\a:b"),
        // Characters beyond the Basic Multilingual Plane count as one.
        yields(Both, u"\U0001F600/./\U0001F600/", u"\U0001F600/\U0001F600"),
        yields(Both, u"a/\U0001F600/../b", u"a/b"),
        yields(Both, u".\U0001F600", u".\U0001F600"),
        yields(Both, u"//\U0001F600/s", u"//\U0001F600/s/", N, 7),
        yields(Host, u"\U00010400:", u"\U00010400:\\", V, 4),
        refuses(Host, u"..\U0001F600", kDotsBeforeText, 242, "..&#x1F600;"),
        // The quoted text is the working copy: rewritten up to the failure,
        // stale where the rewriting has moved on, untouched after it.
        refuses(Host, u"a/./b/..x", kDotsBeforeText, 242, "a\\b\\....x"),
        refuses(Handset, u"a/./b/...", kTooManyDots, 234, "a/b/....."),
        refuses(Handset, u" '\u00e9/\U0001F600/...' ", kTooManyDots, 234, "\xe9/&#x1F600;/..."),
        // The rewriting split a surrogate pair in the stale part; its half is
        // quoted as a reference rather than refused.
        refuses(Host, u"a/../\U0001F600/bcd:", kHostChars, 252, "&#x1F600;\\bcd&#xDE00;/bcd:"),
    };
    for (const char16_t c : u":*?\"<>|\r\n\b\0"s) {
        const std::u16string input = u"d/a"s + c + u"b";
        all.push_back(refuses(Host, input, kHostChars, 252, "d\\a"s + char(c) + "b"));
        all.push_back(yields(Handset, input, input));
    }
    return all;
}

std::string location(unsigned site, const std::string& traits)
{
    return "System/Private/PathStringParser(" + std::to_string(site) +
           ") : System::Private::PathStringParser<class " + traits +
           (site == 143 ? ">::findRoot" : ">::processPathString");
}

template <class Path>
void check(const Case& c, const std::string& traits, char16_t separator)
{
    SCOPED_TRACE(traits + " " + testing::PrintToString(c.input));
    if (c.reason.empty()) {
        std::u16string text = c.text;
        if (c.rules == Both) {
            for (char16_t& unit : text) {
                unit = unit == u'/' ? separator : unit;
            }
        }
        std::u16string moved = c.input;
        std::vector<Path> forms = {Path(c.input), Path(std::move(moved))};
        if (c.input.find(u'\0') == std::u16string::npos) {
            forms.emplace_back(c.input.c_str());
        }
        for (const Path& path : forms) {
            EXPECT_EQ(path.path(), text);
            EXPECT_EQ(path.rootType(), c.rootType);
            EXPECT_EQ(path.rootLength(), c.rootLength);
        }
        return;
    }
    try {
        const Path path(c.input);
        ADD_FAILURE() << "parsed as " << testing::PrintToString(path.path());
    } catch (const typename Path::Exception& e) {
        // what() ends at a NUL the quoted text holds.
        const std::string message = c.reason + ": in path string \"" + c.quoted + "\"";
        EXPECT_EQ(e.what(), message.substr(0, message.find('\0')));
        EXPECT_EQ(e.location(), location(c.site, traits));
    }
}

} // namespace

TEST(BasicPath, ParsesAndRefusesByTheRulesOfEachFileSystem)
{
    for (const Case& c : cases()) {
        if (c.rules != Host) {
            check<EfsPath>(c, "Marl::Efs::PathTraits", u'/');
        }
        if (c.rules != Handset) {
            check<HostPath>(c, "System::Win32::PathTraits", u'\\');
        }
    }
}

TEST(BasicPath, MalformedUtf16IsTheDecodersErrorEvenBehindAPathError)
{
    const auto errorOf = [](auto path, const std::u16string& input) -> std::string {
        try {
            decltype(path){input};
        } catch (const std::invalid_argument& e) {
            return e.what();
        }
        return "(no std::invalid_argument)";
    };
    const struct {
        std::u16string input;
        const char* message;
    } cases[] = {
        {u"a/"s + char16_t(0xDC00), "Unpaired UTF-16 low-surrogate"},
        {u"  a"s + char16_t(0xD800) + u"  ", "Unpaired UTF-16 high-surrogate"},
        {u"a/.../"s + char16_t(0xD800), "Incomplete UTF-16 surrogate pair"},
        {u"//"s + char16_t(0xD800) + u"x", "Unpaired UTF-16 high-surrogate"},
        {u"C:x"s + char16_t(0xDC00), "Unpaired UTF-16 low-surrogate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        EXPECT_EQ(errorOf(EfsPath(u""), c.input), c.message);
        EXPECT_EQ(errorOf(HostPath(u""), c.input), c.message);
    }
}

TEST(BasicPath, AThrowLeavesOneTraceLineWithItsLocation)
{
    Lang::TraceSink::Capture capture;
    EXPECT_THROW(HostPath(u"C:x"), HostPath::Exception);
    ASSERT_EQ(capture.lines().size(), 1u);
    const std::string prefix = location(143, "System::Win32::PathTraits") + ": Throwing ";
    const std::string& line = capture.lines()[0];
    EXPECT_EQ(line.substr(0, prefix.size()), prefix);
    EXPECT_GT(line.size(), prefix.size() + 2);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
}

TEST(BasicPath, ANullPointerIsTheEmptyPath)
{
    const HostPath path(static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(path.path(), u"");
    EXPECT_EQ(path.rootType(), RootType::Relative);
}
