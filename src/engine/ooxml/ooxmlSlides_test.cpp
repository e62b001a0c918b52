#include "engine/ooxml/ooxmlSlides.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "engine/base/engineError.h"
#include "engine/base/engineLimits.h"
#include "engine/ooxml/ooxmlPackage.h"
#include "engine/ooxml/ooxmlStream.h"
#include "engine/ooxml/ooxmlXml.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "errorText.h"
#include "platform/base/hvError.h"
#include "text/textEncoding.h"

namespace {

ThvSlideText Read(const std::string& xml, const ThvRelatedText& diagrams = {}) {
    return ReadSlideText(xml, "deck.pptx", "ppt/slides/slide1.xml", diagrams);
}

/// The body as "level|text" lines, so a whole slide compares in one expectation.
std::vector<std::string> Lines(const ThvSlideText& slide) {
    std::vector<std::string> lines;
    for (const auto& p : slide.Body) lines.push_back(std::to_string(p.Level) + "|" + p.Text);
    return lines;
}

using Strings = std::vector<std::string>;

TEST(SlideTextTest, TitleFirstWhereverItStandsAndBodyInDocumentOrder) {
    ThvSlideText slide =
        Read(SlideXml(Shape("body-ph", Para("first", 0) + Para("deeper", 2)) +
                      Shape("ctrTitle", Para("The Title")) + Shape("", Para("text box")) +
                      Shape("title", Para("second title"))));
    EXPECT_TRUE(slide.HasTitle);
    EXPECT_EQ(slide.Title, "The Title");
    EXPECT_EQ(Lines(slide), (Strings{"0|first", "2|deeper", "0|text box", "0|second title"}));
}

TEST(SlideTextTest, NoTitlePlaceholderMeansNoTitle) {
    ThvSlideText slide =
        Read(SlideXml(Shape("subTitle", Para("sub")) + Shape("sldNum", Para("7"))));
    EXPECT_FALSE(slide.HasTitle);
    EXPECT_EQ(Lines(slide), (Strings{"0|sub", "0|7"}));
}

TEST(SlideTextTest, BreaksTabsFieldsAndBlankParagraphs) {
    std::string paragraph =
        "<a:p><a:r><a:t>one</a:t></a:r><a:br><a:rPr/></a:br><a:r><a:t>two\tcol</a:t></a:r>"
        "<a:fld id=\"{1}\" type=\"slidenum\"><a:rPr/><a:t>12</a:t></a:fld>"
        "<a:endParaRPr><a:t>not text</a:t></a:endParaRPr></a:p>";
    std::string blank = "<a:p><a:r><a:t> \xC2\xA0 </a:t></a:r></a:p><a:p/>";
    std::string levels = Para("clamped", 12) + Para("bad", -5) +
                         "<a:p><a:pPr lvl=\"x\"/><a:r><a:t>junk level</a:t></a:r></a:p>";
    ThvSlideText slide = Read(SlideXml(Shape("", paragraph + blank + levels) +
                                       Shape("title", Para("A") + "<a:p/>" + Para("B"))));
    EXPECT_EQ(slide.Title, "A\nB");
    EXPECT_EQ(Lines(slide), (Strings{"0|one\ntwo\tcol12", "8|clamped", "0|bad", "0|junk level"}));
}

TEST(SlideTextTest, GroupsAtAnyDepthKeepDocumentOrder) {
    std::string nested =
        Group(Shape("", Para("g1")) + Group(Group(Shape("", Para("g3"))) + Shape("", Para("g2b"))));
    ThvSlideText slide =
        Read(SlideXml(Shape("", Para("before")) + nested + Shape("", Para("after"))));
    EXPECT_EQ(Lines(slide), (Strings{"0|before", "0|g1", "0|g3", "0|g2b", "0|after"}));
}

std::string Table(const std::string& rows) {
    return "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"4\" name=\"t\"/>"
           "<p:cNvGraphicFramePr/><p:nvPr/></p:nvGraphicFramePr><p:xfrm/><a:graphic>"
           "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/table\"><a:tbl>"
           "<a:tblGrid><a:gridCol w=\"1\"/></a:tblGrid>" +
           rows + "</a:tbl></a:graphicData></a:graphic></p:graphicFrame>";
}

std::string Cell(const std::string& paragraphs, const std::string& attributes = "") {
    return "<a:tc" + attributes + "><a:txBody><a:bodyPr/>" + paragraphs +
           "</a:txBody><a:tcPr/></a:tc>";
}

TEST(SlideTextTest, TableRowsJoinCellsAndSkipMergedContinuations) {
    std::string rows = "<a:tr h=\"1\">" + Cell(Para("wide"), " gridSpan=\"2\"") +
                       Cell(Para("x"), " hMerge=\"1\"") + Cell(Para("tall"), " rowSpan=\"2\"") +
                       "</a:tr>" + "<a:tr h=\"1\">" + Cell(Para("a")) +
                       Cell(Para("b1") + Para("b2")) + Cell(Para("y"), " vMerge=\"true\"") +
                       "</a:tr>" + "<a:tr h=\"1\">" + Cell("<a:p/>") + Cell("<a:p/>") + "</a:tr>" +
                       "<a:tr h=\"1\">" + Cell("<a:p/>") + Cell(Para("late")) + "</a:tr>";
    ThvSlideText slide = Read(SlideXml(Table(rows)));
    EXPECT_EQ(Lines(slide), (Strings{"0|wide\ttall", "0|a\tb1\nb2", "0|\tlate"}));
}

std::string Diagram(const std::string& relId) {
    return "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"5\" name=\"d\"/>"
           "<p:cNvGraphicFramePr/><p:nvPr/></p:nvGraphicFramePr><p:xfrm/><a:graphic>"
           "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\">"
           "<dgm:relIds xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" "
           "r:dm=\"" +
           relId + "\" r:lo=\"rId3\"/></a:graphicData></a:graphic></p:graphicFrame>";
}

std::string Point(const std::string& id, const std::string& type, const std::string& text) {
    std::string typeAttr = type.empty() ? "" : " type=\"" + type + "\"";
    std::string body = text.empty() ? "" : "<dgm:t><a:bodyPr/>" + Para(text) + "</dgm:t>";
    return "<dgm:pt modelId=\"" + id + "\"" + typeAttr + ">" + body + "</dgm:pt>";
}

std::string Link(const std::string& from, const std::string& to, int order,
                 const std::string& type = "") {
    std::string typeAttr = type.empty() ? "" : " type=\"" + type + "\"";
    return "<dgm:cxn modelId=\"c" + from + to + "\"" + typeAttr + " srcId=\"" + from +
           "\" destId=\"" + to + "\" srcOrd=\"" + std::to_string(order) + "\" destOrd=\"0\"/>";
}

std::string DataModel(const std::string& points, const std::string& links) {
    return "<dgm:dataModel xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><dgm:ptLst>" +
           points + "</dgm:ptLst><dgm:cxnLst>" + links + "</dgm:cxnLst></dgm:dataModel>";
}

TEST(DiagramTextTest, NodesFollowTheHierarchyAndItsOrder) {
    // Listed out of order on purpose; the connections' srcOrd decides.
    std::string points = Point("child2", "", "Second") + Point("0", "doc", "") +
                         Point("grand", "node", "Grandchild") + Point("child1", "", "First") +
                         Point("t1", "parTrans", "") + Point("helper", "asst", "Assistant") +
                         Point("p1", "pres", "") + Point("orphan", "", "Unlinked");
    std::string links = Link("0", "child2", 1) + Link("0", "child1", 0) +
                        Link("child1", "grand", 0) + Link("child2", "helper", 0) +
                        Link("child1", "p1", 0, "presOf") +
                        Link("grand", "0", 0);  // a cycle back to the root must not loop
    std::vector<ThvParagraph> text =
        ReadDiagramText(DataModel(points, links), "deck.pptx", "ppt/diagrams/data1.xml");
    std::vector<std::string> lines;
    for (const auto& p : text) lines.push_back(std::to_string(p.Level) + "|" + p.Text);
    EXPECT_EQ(lines, (Strings{"0|First", "1|Grandchild", "0|Second", "1|Assistant", "0|Unlinked"}));
}

TEST(DiagramTextTest, SlideReadsItsDiagramByRelationshipOnlyOnce) {
    std::vector<std::string> asked;
    ThvRelatedText reader = [&](std::string_view relId,
                                std::string_view kind) -> std::vector<ThvParagraph> {
        asked.emplace_back(relId);
        if (relId != "rId2" || kind != "diagramData") return {};
        return ReadDiagramText(
            DataModel(Point("0", "doc", "") + Point("1", "", "Node"), Link("0", "1", 0)),
            "deck.pptx", "ppt/diagrams/data1.xml");
    };
    ThvSlideText slide =
        Read(SlideXml(Diagram("rId2") + Shape("", Para("after")) + Diagram("rIdMissing")), reader);
    EXPECT_EQ(Lines(slide), (Strings{"0|Node", "0|after"}));
    EXPECT_EQ(asked, (Strings{"rId2", "rIdMissing"}));
}

/// A chart part: a rich title, a value axis titled by a reference, two series (one named by a
/// literal), string categories with a hole in the cache, numbers that are data, not text.
std::string ChartXml(const std::string& prefix, const std::string& uri) {
    const std::string c = prefix + ":";
    const auto cache = [&](const std::vector<std::pair<int, std::string>>& points) {
        std::string xml = "<" + c + "strCache><" + c + "ptCount val=\"9\"/>";
        for (const auto& [idx, text] : points) {
            xml += "<" + c + "pt idx=\"" + std::to_string(idx) + "\"><" + c + "v>" + text + "</" +
                   c + "v></" + c + "pt>";
        }
        return xml + "</" + c + "strCache>";
    };
    return "<" + c + "chartSpace xmlns:" + prefix + "=\"" + uri +
           "\" xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><" + c +
           "chart><" + c + "title><" + c + "tx><" + c + "rich><a:bodyPr/>" + Para("Revenue") +
           Para("by year") + "</" + c + "rich></" + c + "tx></" + c + "title><" + c + "plotArea><" +
           c + "barChart><" + c + "ser><" + c + "tx><" + c + "strRef><" + c + "f>Sheet1!B1</" + c +
           "f>" + cache({{0, "North"}}) + "</" + c + "strRef></" + c + "tx><" + c + "cat><" + c +
           "strRef>" + cache({{1, "2024"}, {0, "2023"}, {3, "2026"}}) + "</" + c + "strRef></" + c +
           "cat><" + c + "val><" + c + "numRef><" + c + "numCache><" + c + "pt idx=\"0\"><" + c +
           "v>42</" + c + "v></" + c + "pt></" + c + "numCache></" + c + "numRef></" + c +
           "val></" + c + "ser><" + c + "ser><" + c + "tx><" + c + "v>South</" + c + "v></" + c +
           "tx><" + c + "cat><" + c + "strRef>" + cache({{0, "other"}}) + "</" + c + "strRef></" +
           c + "cat></" + c + "ser></" + c + "barChart><" + c + "catAx><" + c + "title/></" + c +
           "catAx><" + c + "valAx><" + c + "title><" + c + "tx><" + c + "strRef>" +
           cache({{0, "Euro"}}) + "</" + c + "strRef></" + c + "tx></" + c + "title></" + c +
           "valAx></" + c + "plotArea></" + c + "chart></" + c + "chartSpace>";
}

TEST(ChartTextTest, TitlesSeriesAndCategoriesFromTheChartsCaches) {
    for (const auto& [prefix, uri] :
         {std::pair{"c", "http://schemas.openxmlformats.org/drawingml/2006/chart"},
          std::pair{"k", "http://purl.oclc.org/ooxml/drawingml/chart"}}) {
        SCOPED_TRACE(prefix);
        std::vector<std::string> lines;
        for (const ThvParagraph& p : ReadChartText(ChartXml(prefix, uri), "deck.pptx", "c.xml")) {
            lines.push_back(std::to_string(p.Level) + "|" + p.Text);
        }
        // The axis without a title of its own has none: titles made up when drawn are not read.
        EXPECT_EQ(lines, (Strings{"0|Revenue", "0|by year", "0|Euro", "0|North", "0|South",
                                  "0|2023", "0|2024", "0|2026"}));
    }
    EXPECT_TRUE(ReadChartText("<other/>", "deck.pptx", "c.xml").empty());
}

TEST(ChartTextTest, ASlideReadsItsChartWhereTheFrameStands) {
    std::vector<std::string> asked;
    ThvRelatedText reader = [&](std::string_view relId,
                                std::string_view kind) -> std::vector<ThvParagraph> {
        asked.push_back(std::string(kind) + ":" + std::string(relId));
        return {{0, "chart text"}};
    };
    const std::string frame =
        "<p:graphicFrame><a:graphic><a:graphicData "
        "uri=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart "
        "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" r:id=\"rId5\"/>"
        "</a:graphicData></a:graphic></p:graphicFrame>";
    ThvSlideText slide =
        Read(SlideXml(Shape("", Para("before")) + Group(frame) + Shape("", Para("after"))), reader);
    EXPECT_EQ(Lines(slide), (Strings{"0|before", "0|chart text", "0|after"}));
    EXPECT_EQ(asked, (Strings{"chart:rId5"}));
}

TEST(XmlNamespaceTest, AnyPrefixAndStrictVocabularyReadAlike) {
    std::string custom =
        "<sld xmlns=\"http://purl.oclc.org/ooxml/presentationml/main\" "
        "xmlns:d=\"http://purl.oclc.org/ooxml/drawingml/main\"><cSld><spTree>"
        "<sp><nvSpPr><nvPr><ph type=\"title\"/></nvPr></nvSpPr><txBody><d:p><d:r><d:t>T</d:t>"
        "</d:r></d:p></txBody></sp>"
        "<sp><txBody><d:p><d:pPr lvl=\"1\"/><d:r><d:t>B</d:t></d:r></d:p></txBody></sp>"
        // "a" bound to a foreign namespace: its "t" is not DrawingML text.
        "<sp xmlns:a=\"urn:other\"><txBody><d:p><a:t>foreign</a:t><d:r><d:t>C</d:t></d:r></d:p>"
        "</txBody></sp></spTree></cSld></sld>";
    ThvSlideText slide = Read(custom);
    EXPECT_EQ(slide.Title, "T");
    EXPECT_EQ(Lines(slide), (Strings{"1|B", "0|C"}));
}

TEST(XmlNamespaceTest, Utf16PartsReadLikeUtf8) {
    std::string utf8 = SlideXml(Group(Shape("", Para("caf\xC3\xA9", 1)) + "<p:cxnSp/>"));
    std::u16string units = Utf8ToUtf16(utf8);
    std::string little = "\xFF\xFE";
    std::string big = "\xFE\xFF";
    for (char16_t unit : units) {
        little += {char(unit & 0xFF), char(unit >> 8)};
        big += {char(unit >> 8), char(unit & 0xFF)};
    }
    EXPECT_EQ(Lines(Read(little)), (Strings{"1|caf\xC3\xA9"}));
    EXPECT_EQ(Lines(Read(big)), (Strings{"1|caf\xC3\xA9"}));
    EXPECT_EQ(Lines(Read(little.substr(2))), (Strings{"1|caf\xC3\xA9"})) << "without a mark";
}

TEST(XmlNamespaceTest, AlternateContentIsReadOnceFromTheRightBranch) {
    auto block = [](const std::string& required, const std::string& choiceText) {
        return "<mc:AlternateContent "
               "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
               "<mc:Choice xmlns:p14=\"http://schemas.microsoft.com/office/powerpoint/2010/main\" "
               "xmlns:zz=\"urn:unknown\" Requires=\"" +
               required + "\">" + Shape("", Para(choiceText)) + "</mc:Choice><mc:Fallback>" +
               Shape("", Para("fallback")) + "</mc:Fallback></mc:AlternateContent>";
    };
    // Alone, and beside a binding that makes the reader rename names (a prefix of ours bound
    // to a foreign namespace): the two ways through the tree must agree.
    for (const std::string renaming : {"", "<p:sp xmlns:m=\"urn:other\"/>"}) {
        ThvSlideText slide =
            Read(SlideXml(renaming + block("p14", "choice") + block("p14 zz", "unread") +
                          Group(block("undeclared", "unread"))));
        EXPECT_EQ(Lines(slide), (Strings{"0|choice", "0|fallback", "0|fallback"})) << renaming;
    }
}

std::string Nested(std::size_t depth, bool renaming = false) {
    std::string xml = renaming ? "<a xmlns:m=\"urn:other\">" : "<a>";
    for (std::size_t i = 1; i < depth; ++i) xml += "<a>";
    for (std::size_t i = 0; i < depth; ++i) xml += "</a>";
    return xml;
}

TEST(XmlLimitsTest, DepthIsRefusedJustAboveTheLimit) {
    const ThvEngineLimits limits;
    for (bool renaming : {false, true}) {
        EXPECT_NO_THROW(ThvXmlPart(Nested(limits.MaxXmlDepth, renaming), "f", "p", limits));
        try {
            ThvXmlPart(Nested(limits.MaxXmlDepth + 1, renaming), "deck.pptx",
                       "ppt/slides/slide3.xml", limits);
            ADD_FAILURE() << renaming;
        } catch (const EhvError& e) {
            EXPECT_STREQ(e.what(),
                         "\"deck.pptx\" is refused: its part \"ppt/slides/slide3.xml\" nests XML "
                         "elements deeper than 256 levels");
        }
    }
    // A million levels must fail as quickly, not overflow a stack.
    EXPECT_THROW(ThvXmlPart(Nested(200000), "f", "p", limits), EhvError);
}

TEST(XmlLimitsTest, ScanSeesThroughCommentsQuotesAndSelfClosingTags) {
    ThvXmlShape shape = ScanXmlShape(
        "<?xml version=\"1.0\"?><!-- <x><x><x> --><r a=\"<q>\" b='/>'><e/><f><![CDATA[<y><y>]]>"
        "</f></r>");
    EXPECT_EQ(shape.MaxDepth, 2u);
    EXPECT_EQ(shape.Elements, 3u);
    // The scan is what guards a large part; a small limit makes a small part large.
    ThvEngineLimits limits;
    limits.MaxXmlElements = 1000;
    limits.XmlScanAboveBytes = 100;
    const auto elements = [](std::size_t count) {
        std::string xml = "<r>";
        for (std::size_t i = 1; i < count; ++i) xml += "<e/>";
        return xml + "</r>";
    };
    EXPECT_NO_THROW(ThvXmlPart(elements(1000), "f", "p", limits));
    EXPECT_EQ(ErrorOf([&] { ThvXmlPart(elements(1001), "deck.pptx", "p", limits); }),
              "\"deck.pptx\" is refused: its part \"p\" holds more than 1000 XML elements");
    limits.XmlScanAboveBytes = 1u << 20;  // and the walk, when the part is not scanned
    EXPECT_THROW(ThvXmlPart(elements(1001), "f", "p", limits), EhvFileRefused);
}

TEST(XmlLimitsTest, StreamedPartsMayHoldMoreElementsTheLargerTheyAre) {
    ThvEngineLimits limits;
    limits.MaxXmlElements = 100;
    limits.XmlBytesPerElement = 8;
    const auto read = [&](const std::string& xml) {
        ThvXmlStream stream(xml, "deck.pptx", "p", limits);
        while (stream.Next() != ThvXmlStream::Token::Done) {
        }
    };
    // 150 elements of 8 bytes each and more: within one element per 8 bytes.
    std::string padded = "<r>";
    for (int i = 1; i < 150; ++i) padded += "<e>  </e>";
    EXPECT_NO_THROW(read(padded + "</r>"));
    // As many elements of 4 bytes each are more than the part's size allows.
    std::string dense = "<r>";
    for (int i = 1; i < 150; ++i) dense += "<e/>";
    EXPECT_EQ(ErrorOf([&] { read(dense + "</r>"); }),
              "\"deck.pptx\" is refused: its part \"p\" holds more than 100 XML elements");
}

TEST(SlideTextTest, DamagedOrForeignPartsFailNamingThePart) {
    try {
        Read(
            "<p:sld "
            "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"><p:cSld>");
        FAIL();
    } catch (const EhvError& e) {
        EXPECT_NE(std::string(e.what()).find("\"deck.pptx\" is damaged: its part "
                                             "\"ppt/slides/slide1.xml\" is not well-formed XML"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_THROW(Read("<notASlide/>"), EhvError);
}

/// Every token of a part as one line each: "<name", ">" for an end, "'text'".
std::string Tokens(const std::string& xml) {
    ThvXmlStream stream(xml, "f", "p", ThvEngineLimits{});
    std::string out;
    for (;;) {
        switch (stream.Next()) {
            case ThvXmlStream::Token::Start:
                out += "<" + std::string(stream.Name()) + " ";
                break;
            case ThvXmlStream::Token::End:
                out += "> ";
                break;
            case ThvXmlStream::Token::Text:
                out += "'" + std::string(stream.Text()) + "' ";
                break;
            case ThvXmlStream::Token::Done:
                return out;
        }
    }
}

TEST(XmlStreamTest, TextAsTheTreeReaderSeesIt) {
    // Escapes and character references resolved, unknown ones left; CDATA as written.
    EXPECT_EQ(Tokens("<r>a&amp;b&lt;&#233;&#x1F600;&nbsp;&#xZ;<![CDATA[<x&amp;>]]></r>"),
              "<r 'a&b<\u00e9\U0001F600&nbsp;&#xZ;' '<x&amp;>' > ");
    // White space alone is content only where it is all an element holds.
    EXPECT_EQ(Tokens("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<r>\n <t> </t> <t>\t<!--c--></t>"
                     "<t> x </t>\n</r>\n"),
              "<r <t ' ' > <t > <t ' x ' > > ");
    // Comments split text; both pieces count.
    EXPECT_EQ(Tokens("<r>a<!-- - -->b<?pi x?></r>"), "<r 'a' 'b' > ");
}

TEST(XmlStreamTest, AttributesAndNamesThroughNamespaces) {
    ThvXmlStream stream(
        "<x:sld xmlns:x=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
        "xmlns:q = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships' "
        "q:id=\"r&quot;1\" plain='v'/>",
        "f", "p", ThvEngineLimits{});
    ASSERT_EQ(stream.Next(), ThvXmlStream::Token::Start);
    EXPECT_EQ(stream.Name(), "p:sld");
    EXPECT_EQ(stream.Attribute("r:id"), "r\"1");
    EXPECT_EQ(stream.Attribute("plain"), "v");
    EXPECT_EQ(stream.Attribute("q:id"), "");
    EXPECT_EQ(stream.Next(), ThvXmlStream::Token::End);
    EXPECT_EQ(stream.Next(), ThvXmlStream::Token::Done);
}

TEST(XmlStreamTest, MalformedPartsFailWithTheParsersWords) {
    auto error = [](const std::string& xml) {
        try {
            ThvXmlStream stream(xml, "deck.pptx", "ppt/slides/slide1.xml", ThvEngineLimits{});
            while (stream.Next() != ThvXmlStream::Token::Done) {
            }
        } catch (const EhvError& e) {
            const std::string what = e.what();
            const std::size_t open = what.find(" (");
            return open == std::string::npos ? what : what.substr(open + 2);
        }
        return std::string("read");
    };
    EXPECT_EQ(error("<r><a></r>"), "Start-end tags mismatch at offset 6)");
    EXPECT_EQ(error("<r><a>"), "Start-end tags mismatch at offset 6)");
    EXPECT_EQ(error("<r a=1/>"), "Error parsing element attribute at offset 0)");
    EXPECT_EQ(error("<r a='1'b='2'/>"), "Error parsing element attribute at offset 0)");
    EXPECT_EQ(error("<r a='1/>"), "Error parsing element attribute at offset 0)");
    EXPECT_EQ(error("<r/ >"), "Error parsing start element tag at offset 0)");
    EXPECT_EQ(error("<r></r x>"), "Error parsing end element tag at offset 3)");
    EXPECT_EQ(error("<r><!-- open"), "Error parsing comment at offset 3)");
    EXPECT_EQ(error("<r><![CDATA[ open"), "Error parsing CDATA section at offset 3)");
    EXPECT_EQ(error("text only"), "No document element found at offset 9)");
    EXPECT_EQ(error(""), "No document element found at offset 0)");
    EXPECT_EQ(error("<r/><second/>"), "read");  // later top-level elements are read past
    std::string crowded = "<r";
    for (std::size_t i = 0; i <= ThvEngineLimits().MaxXmlAttributes; ++i)
        crowded += " a" + std::to_string(i) + "=''";
    EXPECT_EQ(error(crowded + "/>"),
              "\"deck.pptx\" is refused: its part \"ppt/slides/slide1.xml\" "
              "has an XML element with more than 4096 attributes");
    EXPECT_TRUE(error("<r>" + std::string("\0", 1) + "</r>") == "read");
}

}  // namespace

// ---- What is read besides the slides ----------------------------------------------------------

namespace {

const std::string kOfficeRels = "http://schemas.microsoft.com/office/2018/10/relationships/";

/// A notes page: the slide's picture and number placeholders, and a box with the number as
/// converted decks have it, around the notes themselves, in the body placeholder or in a box.
std::string NotesXml(const std::string& notes, bool inTextBox = false) {
    std::string xml = SlideXml(Shape("sldImg", "") + Shape(inTextBox ? "" : "body", notes) +
                               Shape("sldNum", Para("7")) + Shape("", Para(" 7 ")));
    xml.replace(xml.find("<p:sld "), 7, "<p:notes ");
    xml.replace(xml.rfind("</p:sld>"), 8, "</p:notes>");
    return xml;
}

std::string NotesRel(const std::string& part) {
    return "<Relationship Id=\"rIdN\" Type=\"" + kRelTypes + "notesSlide\" Target=\"../" + part +
           "\"/>";
}

ThvPresentationText ReadDeck(const std::string& bytes, const ThvContentChoice& content) {
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "deck.pptx");
    return ReadOoxmlPresentation(*package, content);
}

std::vector<std::string> NotesOf(const ThvPresentationText& deck) {
    std::vector<std::string> notes;
    for (const ThvSlideText& slide : deck.Slides) {
        std::string text;
        for (const ThvParagraph& p : slide.Notes) text += (text.empty() ? "" : "/") + p.Text;
        notes.push_back(text);
    }
    return notes;
}

}  // namespace

TEST(SlideExtrasTest, NotesFollowTheSlidesOwnRelationshipNotNamesOrOrder) {
    // Slide parts are named in reverse; the notes parts are named in yet another order, and
    // the third slide has none, so pairing by position or number gets every one wrong.
    const std::string bytes =
        TPresentationBuilder()
            .Slide(SlideXml(Shape("title", Para("One"))), NotesRel("notesSlides/notesSlide2.xml"),
                   {{"ppt/notesSlides/notesSlide2.xml", NotesXml(Para("first") + Para("more", 1))}})
            .Slide(SlideXml(Shape("title", Para("Two"))), NotesRel("notesSlides/notesSlide1.xml"),
                   {{"ppt/notesSlides/notesSlide1.xml", NotesXml(Para("second"), true)}})
            .Slide(SlideXml(Shape("title", Para("Three"))))
            .Bytes();
    EXPECT_EQ(NotesOf(ReadDeck(bytes, {.Notes = true})), (Strings{"first/more", "second", ""}));
    const ThvPresentationText deck = ReadDeck(bytes, {.Notes = true});
    EXPECT_EQ(deck.Slides[0].Notes[1].Level, 1);
    // Nothing is read unasked, and the slides' own text never takes in the notes.
    EXPECT_EQ(NotesOf(ReadDeck(bytes, {})), (Strings{"", "", ""}));
    EXPECT_EQ(Lines(deck.Slides[0]), Strings{});
}

TEST(SlideExtrasTest, ADamagedNotesPageCostsOnlyItsNotes) {
    const std::string bytes =
        TPresentationBuilder()
            .Slide(SlideXml(Shape("title", Para("One")) + Shape("", Para("body"))),
                   NotesRel("notesSlides/notesSlide1.xml"),
                   {{"ppt/notesSlides/notesSlide1.xml", "<p:notes><broken"}})
            .Slide(SlideXml(Shape("title", Para("Two"))), NotesRel("notesSlides/missing.xml"))
            .Bytes();
    const ThvPresentationText deck = ReadDeck(bytes, {.Notes = true});
    ASSERT_EQ(deck.Slides.size(), 2u);
    EXPECT_EQ(Lines(deck.Slides[0]), Strings{"0|body"});
    ASSERT_EQ(deck.Salvaged.size(), 2u);
    EXPECT_THAT(deck.Salvaged[0], ::testing::StartsWith("slide 1 loses its notes: "));
    EXPECT_THAT(deck.Salvaged[1], ::testing::StartsWith("slide 2 loses its notes: "));
    EXPECT_TRUE(ReadDeck(bytes, {}).Salvaged.empty());
}

TEST(SlideExtrasTest, ClassicAndThreadedCommentsWithTheirAuthors) {
    const std::string p = "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"";
    const std::string p188 =
        "xmlns:p188=\"http://schemas.microsoft.com/office/powerpoint/2018/8/main\" "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"";
    const std::string classic = "<p:cmLst " + p +
                                "><p:cm authorId=\"1\"><p:text>Check &amp; fix"
                                "</p:text></p:cm><p:cm authorId=\"9\"><p:text>anonymous</p:text>"
                                "</p:cm><p:cm authorId=\"1\"><p:text> </p:text></p:cm></p:cmLst>";
    const std::string threaded =
        "<p188:cmLst " + p188 + "><p188:cm authorId=\"{A}\"><p188:txBody>" + Para("Why?") +
        Para("Really") + "</p188:txBody><p188:replyLst><p188:reply authorId=\"{B}\"><p188:txBody>" +
        Para("Because") + "</p188:txBody></p188:reply></p188:replyLst></p188:cm></p188:cmLst>";
    const std::string bytes =
        TPresentationBuilder()
            .Slide(SlideXml(Shape("title", Para("One"))),
                   "<Relationship Id=\"rIdC\" Type=\"" + kRelTypes +
                       "comments\" Target=\"../comments/comment1.xml\"/>",
                   {{"ppt/comments/comment1.xml", classic}})
            .Slide(SlideXml(Shape("title", Para("Two"))),
                   "<Relationship Id=\"rIdC\" Type=\"" + kOfficeRels +
                       "comments\" Target=\"../comments/modernComment_1.xml\"/>",
                   {{"ppt/comments/modernComment_1.xml", threaded}})
            .Related(kRelTypes + "commentAuthors", "ppt/commentAuthors.xml",
                     "<p:cmAuthorLst " + p + "><p:cmAuthor id=\"1\" name=\"Ann\"/></p:cmAuthorLst>")
            .Related(kOfficeRels + "authors", "ppt/authors.xml",
                     "<p188:authorLst " + p188 +
                         "><p188:author id=\"{A}\" name=\"Bo\"/>"
                         "<p188:author id=\"{B}\" name=\"Cy\"/></p188:authorLst>")
            .Bytes();
    const ThvPresentationText deck = ReadDeck(bytes, {.Comments = true});
    ASSERT_EQ(deck.Slides.size(), 2u);
    const auto comments = [](const ThvSlideText& slide) {
        Strings lines;
        for (const ThvComment& c : slide.Comments) lines.push_back(c.Author + ":" + c.Text);
        return lines;
    };
    EXPECT_EQ(comments(deck.Slides[0]), (Strings{"Ann:Check & fix", ":anonymous"}));
    EXPECT_EQ(comments(deck.Slides[1]), (Strings{"Bo:Why?\nReally", "Cy:Because"}));
    EXPECT_TRUE(ReadDeck(bytes, {.Notes = true}).Slides[0].Comments.empty());
}

TEST(SlideExtrasTest, HiddenSlidesAndPictureDescriptionsInDocumentOrder) {
    const std::string picture =
        "<p:pic><p:nvPicPr><p:cNvPr id=\"4\" name=\"p\" descr=\"A red &quot;kite&quot;\"/>"
        "<p:cNvPicPr/><p:nvPr/></p:nvPicPr></p:pic>";
    const std::string frame =
        "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"5\" name=\"c\" descr=\"Sales chart\"/>"
        "</p:nvGraphicFramePr><a:graphic><a:graphicData uri=\"x\"/></a:graphic></p:graphicFrame>";
    std::string hidden =
        SlideXml(Shape("", Para("before")) + Group(picture) + frame + Shape("", Para("after")));
    hidden.replace(hidden.find("<p:sld "), 7, "<p:sld show=\"0\" ");
    const std::string bytes = TPresentationBuilder().Slide(hidden).Slide(SlideXml("")).Bytes();
    const ThvPresentationText deck = ReadDeck(bytes, {.Pictures = true});
    EXPECT_TRUE(deck.Slides[0].Hidden);
    EXPECT_FALSE(deck.Slides[1].Hidden);
    EXPECT_EQ(Lines(deck.Slides[0]),
              (Strings{"0|before", "0|A red \"kite\"", "0|Sales chart", "0|after"}));
    EXPECT_EQ(deck.Slides[0].Body[1].Kind, ThvTextKind::Picture);
    EXPECT_EQ(Lines(ReadDeck(bytes, {}).Slides[0]), (Strings{"0|before", "0|after"}));
}
