// The workbook XML reader against expat, a general XML parser: the same elements, attributes
// and text for every part of the real workbooks in tests/data (and of $QX_XML_CORPUS, a folder
// of .xlsx files, when set), fed in pieces of several sizes; and the same refusals of documents
// that are not well formed.
#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/os/paths.h"
#include "tests/unit/isam/xml_events.h"

namespace qx::isam::excel12 {
namespace {

using xml_events::withExpat;
using xml_events::withOurs;

void expectSame(const std::string& xml, const std::string& what) {
    std::vector<std::string> want = withExpat(xml);
    for (std::size_t piece :
         {std::size_t{1} << 30, std::size_t{65536}, std::size_t{4093}, std::size_t{7}}) {
        if (piece == 7 && xml.size() > 200000) continue;  // byte-sized pieces on small parts
        ASSERT_EQ(withOurs(xml, piece), want) << what << " in pieces of " << piece;
    }
}

std::vector<std::filesystem::path> workbooks() {
    std::vector<std::filesystem::path> out;
    std::vector<std::filesystem::path> roots = {std::filesystem::path(QX_SOURCE_DIR) /
                                                "tests/data"};
    if (const char* extra = std::getenv("QX_XML_CORPUS")) roots.emplace_back(extra);
    for (const auto& root : roots)
        for (const auto& e : std::filesystem::recursive_directory_iterator(root))
            if (e.path().extension() == ".xlsx") out.push_back(e.path());
    return out;
}

TEST(XmlReader, AgreesWithExpatOnEveryPartOfRealWorkbooks) {
    std::size_t parts = 0;
    for (const auto& book : workbooks()) {
        zip_t* z = zip_open(book.c_str(), ZIP_RDONLY, nullptr);
        if (!z) continue;
        for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
            zip_stat_t st;
            if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
                st.size > (64u << 20))
                continue;
            std::string name = st.name;
            if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
            zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
            if (!f) continue;
            std::string xml(st.size, '\0');
            zip_int64_t got = zip_fread(f, xml.data(), xml.size());
            zip_fclose(f);
            if (got != static_cast<zip_int64_t>(xml.size())) continue;
            expectSame(xml, qx::os::utf8(book.filename()) + ":" + name);
            ++parts;
        }
        zip_discard(z);
    }
    EXPECT_GT(parts, 50u);
}

TEST(XmlReader, AgreesWithExpatOnTheCornersOfXml) {
    const char* docs[] = {
        "<a>x &lt;&gt;&amp;&quot;&apos; &#20013;&#x6587;&#x1F600;</a>",
        "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- c --><a b='1' c=\"x&amp;y\"/>",
        "<x:a xmlns:x=\"u\" x:b=\"1\"><x:c>t</x:c></x:a>",
        "<a>line\r\nnext\rlast\n</a>",
        "<a b=\"one\ttwo\r\nthree&#10;four\">t</a>",
        "<a><![CDATA[<not> &amp; a tag\r\n]]>after</a>",
        "<a><?pi x?>t<!-- <b> --></a>\n<!-- trailing -->\n",
        "<a  b = \"1\"  ></a >",
        "<a>张三 ＡＢＣ</a>",
        // Not well formed, or refused.
        "<a><b></a></b>",
        "<a>&unknown;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a><b>",
        "<a/><b/>",
        "text<a/>",
        "<a b=\"<\"/>",
        "<a b=1/>",
        "<a>\xFF</a>",
        "<a I\xE4=\"1\"/>",
        "<a b='1' b='2'/>",
        "<1a/>",
        "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
        "",
        "<a></b>",
        "</a>",
    };
    for (const char* doc : docs) expectSame(doc, doc);
}

}  // namespace
}  // namespace qx::isam::excel12
