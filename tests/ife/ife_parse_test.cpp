// Reading .ife files: value lines, integer and key-field conversions, and the
// structural faults that end a load with a message naming file, line and need.
#include <gtest/gtest.h>

#include <cstdio>

#include "ife/ife.h"
#include "process.h"
#include "support/error.h"

namespace {

std::string ife_write(const std::string& text)
{
    std::string path = test_temp_dir("ife") + "/layers.ife";
    write_file(path, text);
    return path;
}

// Message of the fatal error the file raises ("" when it parses).
std::string ife_fatal(const std::string& text)
{
    ife_interface record{};
    try {
        ife_parse(record, ife_write(text));
    } catch (const fatal_error& e) {
        return e.what();
    }
    IFE_FREE(record);
    return "";
}

}  // namespace

TEST(IfeParse, ValueLinesCommentsBlanksAndKeyFields)
{
    std::string text =
        "# header comment\n"
        " \t2\t \r\n"
        "$10\n"
        "logo.jpg\n"
        "  # not a comment: leading blanks\n"
        "\n"
        "3\n"
        "258\n"
        "0 512 384 0 0 512 256 255 255 255 0\n"
        "# between keys\n"
        "12.5 1  2 3\r\n"
        "13.5 1 2 3 4 5 6 7 8\n"
        "#\n"
        "back.raw\n"
        "x\n"
        "y\n"
        "%10\n"
        "-1\n"
        "-0.5 1e2 2.5E-1 1.5 junk 7 8 9 10 11 12 13 14\n"
        "7 8 9 2.5 1 2 3 4 5 6 7\n";
    ife_interface r{};
    ife_parse(r, ife_write(text));
    ASSERT_EQ(r.layercount, 2);
    EXPECT_EQ(r.info, 16);
    const ife_layer& a = r.layers[0];
    EXPECT_STREQ(a.texturename, "logo.jpg");
    EXPECT_STREQ(a.info1, "# not a comment: leading blanks");
    EXPECT_STREQ(a.info2, "");          // an empty line is an empty value
    EXPECT_EQ(a.texture, 0u);           // parsing acquires no texture
    ASSERT_EQ(a.keycount, 3);
    EXPECT_EQ(a.blend, 2);              // low 8 bits of 258
    EXPECT_EQ(a.keys[0].frame, 0);
    EXPECT_FLOAT_EQ(a.keys[0].x, 512);
    EXPECT_FLOAT_EQ(a.keys[0].width, 512);
    EXPECT_FLOAT_EQ(a.keys[0].alpha, 0);
    // Two spaces make an empty field: 12.5 1 <empty> 2 3, CR trimmed.
    EXPECT_EQ(a.keys[1].frame, 12);     // half to even
    EXPECT_FLOAT_EQ(a.keys[1].x, 1);
    EXPECT_FLOAT_EQ(a.keys[1].y, 0);
    EXPECT_EQ(a.keys[1].mode, 2);
    EXPECT_FLOAT_EQ(a.keys[1].angle, 3);
    EXPECT_FLOAT_EQ(a.keys[1].width, 0);
    // Nine fields leave blue and alpha at 0.
    EXPECT_EQ(a.keys[2].frame, 14);
    EXPECT_FLOAT_EQ(a.keys[2].green, 8);
    EXPECT_FLOAT_EQ(a.keys[2].blue, 0);
    EXPECT_FLOAT_EQ(a.keys[2].alpha, 0);

    const ife_layer& b = r.layers[1];
    EXPECT_STREQ(b.texturename, "back.raw");
    EXPECT_EQ(b.keycount, 2);           // %10
    EXPECT_EQ(b.blend, 255);            // -1, low 8 bits
    EXPECT_EQ(b.keys[0].frame, 0);      // -0.5 rounds to -0, even
    EXPECT_FLOAT_EQ(b.keys[0].x, 100);
    EXPECT_FLOAT_EQ(b.keys[0].y, 0.25f);
    EXPECT_EQ(b.keys[0].mode, 2);       // 1.5 rounds to 2
    EXPECT_FLOAT_EQ(b.keys[0].angle, 0);  // not a number in full
    EXPECT_FLOAT_EQ(b.keys[0].alpha, 12);  // fields after the eleventh ignored
    EXPECT_EQ(b.keys[1].mode, 2);       // 2.5 rounds to 2
    IFE_FREE(r);
    EXPECT_EQ(r.layercount, 0);
    IFE_FREE(r);  // a released record is left alone
}

TEST(IfeParse, LongLinesCountTheirFirst255Characters)
{
    std::string name(300, 'n');
    std::string comment = "#" + std::string(400, 'c');
    ife_interface r{};
    ife_parse(r, ife_write("1\n0\n" + name + "\n" + comment + "\ni\nj\n0\n0\n"));
    ASSERT_EQ(r.layercount, 1);
    EXPECT_EQ(std::string(r.layers[0].texturename), std::string(255, 'n'));
    EXPECT_STREQ(r.layers[0].info1, "i");  // the long comment's tail is no line of its own
    IFE_FREE(r);

    ife_parse(r, ife_write("0\n0"));  // no final line break, no layers
    EXPECT_EQ(r.layercount, 0);
    EXPECT_EQ(r.info, 0);
}

TEST(IfeParse, HelpersSplitOnSingleSpaces)
{
    EXPECT_EQ(IFE_FIELD("a b c", 1), "a");
    EXPECT_EQ(IFE_FIELD("a b c", 3), "c");
    EXPECT_EQ(IFE_FIELD("a  c", 2), "");
    EXPECT_EQ(IFE_FIELD("a\t1 c", 1), "a\t1");  // tabs do not separate
    EXPECT_EQ(IFE_FIELD("a b", 5), "");
    EXPECT_EQ(IFE_FIELD("a b", 0), "");
    EXPECT_FLOAT_EQ(IFE_VALUE("1 -2.5e1 x", 2), -25.0f);
    EXPECT_FLOAT_EQ(IFE_VALUE("1 -2.5e1 x", 3), 0.0f);
    EXPECT_FLOAT_EQ(IFE_VALUE("1 \t7\t x", 2), 7.0f);  // a field is trimmed
}

TEST(IfeParse, StructuralFaultsAreFatalWithFileLineAndExpectation)
{
    std::string m = ife_fatal("2\n0\nt\ni\nj\n1\n0\n1 2 3\n");
    EXPECT_NE(m.find("layers.ife"), std::string::npos) << m;
    EXPECT_NE(m.find("line 8"), std::string::npos) << m;
    EXPECT_NE(m.find("texture name of layer 2"), std::string::npos) << m;

    m = ife_fatal("1\n0\nt\ni\nj\n3\n0\n1 2 3\n");
    EXPECT_NE(m.find("key 2 of 3 of layer 1"), std::string::npos) << m;

    m = ife_fatal("-1\n0\n");
    EXPECT_NE(m.find("line 1"), std::string::npos) << m;
    EXPECT_NE(m.find("the layer count is -1, out of range"), std::string::npos) << m;

    m = ife_fatal("1002\n0\n");
    EXPECT_NE(m.find("out of range"), std::string::npos) << m;
    m = ife_fatal("1\n0\nt\ni\nj\n10002\n0\n");
    EXPECT_NE(m.find("line 6: the key count of layer 1 is 10002, out of range; expected 0 to 10001"),
              std::string::npos) << m;
    EXPECT_NE(ife_fatal("1\n0\nt\ni\nj\n-3\n0\n").find("key count of layer 1 is -3"), std::string::npos);

    m = ife_fatal("1\n0\nt\ni\nj\n1\n\n0 0 0\n");  // an empty blend line
    EXPECT_NE(m.find("line 7"), std::string::npos) << m;
    EXPECT_NE(m.find("\"\" is not a valid integer"), std::string::npos) << m;
    m = ife_fatal("2x\n0\n");
    EXPECT_NE(m.find("\"2x\" is not a valid integer; expected the layer count"), std::string::npos) << m;
    EXPECT_NE(ife_fatal("").find("expected the layer count"), std::string::npos);
    // A binary file: the line is quoted escaped and cut, not copied out whole.
    m = ife_fatal(std::string("\x01\xfe\"q\\") + std::string(300, 'z') + "\n0\n");
    EXPECT_NE(m.find("line 1: \"\\x01\\xfe\\x22q\\x5c" + std::string(35, 'z') + "...\" is not a valid integer"),
              std::string::npos) << m;
    EXPECT_LT(m.size(), 200u) << m;

    ife_interface r{};
    try {
        ife_parse(r, "/nonexistent/x.ife");
        ADD_FAILURE() << "a missing file must be fatal";
    } catch (const fatal_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/x.ife"), std::string::npos);
    }
    EXPECT_EQ(r.layercount, 0);  // a failed load leaves the record as it was
}
