#include "lang/Exception.h"
#include "lang/Throw.h"
#include "lang/TypeName.h"

#include <gtest/gtest.h>

namespace Sample {
class Widget {};
struct Record {};
enum class Colour { Red };
template <class T>
class Box {};
} // namespace Sample

TEST(Exception, MessagesLocationsAndCopiesThroughTheBase)
{
    Lang::Exception e("broken", "here(1) : f");
    e.setMessage("");
    EXPECT_STREQ(e.what(), "(null message)");
    // Constructed with an empty message, the message stays empty.
    EXPECT_STREQ(Lang::Exception("", "").what(), "");

    const Lang::NullPointerException original(typeid(Sample::Widget));
    const Lang::Exception& base = original;
    const Lang::Exception copy(base);
    EXPECT_STREQ(copy.what(), "NULL class Sample::Widget pointer");
    EXPECT_STREQ(copy.location(), "Unknown Location");
}

TEST(Exception, TypeNamesReadAsOnWindows)
{
    EXPECT_EQ(Lang::printableTypeName(typeid(Sample::Widget)), "class Sample::Widget");
    // Structs read as classes here: the run-time type information of GCC and
    // clang does not tell the two apart.
    EXPECT_EQ(Lang::printableTypeName(typeid(Sample::Record)), "class Sample::Record");
    EXPECT_EQ(Lang::printableTypeName(typeid(Sample::Colour)), "enum Sample::Colour");
    EXPECT_EQ(Lang::printableTypeName(typeid(int)), "int");
    EXPECT_EQ(Lang::printableTypeName(typeid(Sample::Box<int>)), "class Sample::Box<int>");
}

TEST(Exception, ThrowConventionTracesStampsAndThrowsTheNamedType)
{
    Lang::TraceSink::Capture capture;
    const std::string location = Lang::locationText("Mem/Sample", 42, "Sample::Widget::use");
    EXPECT_EQ(location, "Mem/Sample(42) : Sample::Widget::use");
    try {
        LANG_THROW(location, Lang::NullPointerException(typeid(Sample::Widget)));
    } catch (const Lang::NullPointerException& e) {
        EXPECT_STREQ(e.what(), "NULL class Sample::Widget pointer");
        EXPECT_STREQ(e.location(), "Mem/Sample(42) : Sample::Widget::use");
    }
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "Mem/Sample(42) : Sample::Widget::use: Throwing "
                                  "Lang::NullPointerException(typeid(Sample::Widget))\r\n");
}

TEST(Exception, TraceLinesGoNowhereWithoutACapture)
{
    EXPECT_NO_THROW(Lang::TraceSink::write("dropped\r\n"));
    Lang::TraceSink::Capture outer;
    {
        Lang::TraceSink::Capture inner;
        Lang::TraceSink::write("inner");
        EXPECT_EQ(inner.lines().size(), 1u);
    }
    Lang::TraceSink::write("outer");
    ASSERT_EQ(outer.lines().size(), 1u);
    EXPECT_EQ(outer.lines()[0], "outer");
}
