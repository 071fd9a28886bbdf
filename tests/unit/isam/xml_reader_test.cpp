// The workbook XML reader against expat, a general XML parser: the same elements, attributes
// and text for every part of the real workbooks in tests/data (and of $QX_XML_CORPUS, a folder
// of .xlsx files, when set), fed in pieces of several sizes; and the same refusals of documents
// that are not well formed.
#include <expat.h>
#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/isam/excel12/xml_reader.h"

namespace qx::isam::excel12 {
namespace {

// Events as one text: "S name a=v …", "E name", "T text" (adjacent text joined); "error" when
// the document is refused.
struct Events {
    std::vector<std::string> list;
    void text(std::string_view t) {
        if (!list.empty() && list.back().rfind("T ", 0) == 0)
            list.back().append(t);
        else
            list.push_back("T " + std::string(t));
    }
    void start(std::string_view name, const char** attrs) {
        std::string e = "S " + std::string(name);
        for (int i = 0; attrs[i]; i += 2) e += std::string(" ") + attrs[i] + "=" + attrs[i + 1];
        list.push_back(e);
    }
};

std::string_view local(const char* q) {
    std::string_view s(q);
    std::size_t colon = s.rfind(':');
    return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

std::vector<std::string> withExpat(const std::string& xml) {
    Events ev;
    bool doctype = false;
    struct Context {
        Events* ev;
        bool* doctype;
        XML_Parser p;
    };
    XML_Parser p = XML_ParserCreate("UTF-8");
    Context c{&ev, &doctype, p};
    XML_SetUserData(p, &c);
    XML_SetElementHandler(
        p,
        [](void* u, const char* n, const char** a) {
            static_cast<Context*>(u)->ev->start(local(n), a);
        },
        [](void* u, const char* n) {
            static_cast<Context*>(u)->ev->list.push_back("E " + std::string(local(n)));
        });
    XML_SetCharacterDataHandler(p, [](void* u, const char* s, int len) {
        static_cast<Context*>(u)->ev->text(std::string_view(s, static_cast<std::size_t>(len)));
    });
    XML_SetStartDoctypeDeclHandler(p, [](void* u, const char*, const char*, const char*, int) {
        *static_cast<Context*>(u)->doctype = true;
        XML_StopParser(static_cast<Context*>(u)->p, XML_FALSE);
    });
    bool ok = XML_Parse(p, xml.data(), static_cast<int>(xml.size()), 1) != XML_STATUS_ERROR;
    XML_ParserFree(p);
    if (!ok || doctype) return {"error"};
    return ev.list;
}

std::vector<std::string> withOurs(const std::string& xml, std::size_t piece) {
    Events ev;
    XmlReader r;
    r.onStart = [&](std::string_view n, XmlReader::Attributes a) { ev.start(n, a); };
    r.onEnd = [&](std::string_view n) { ev.list.push_back("E " + std::string(n)); };
    r.onText = [&](std::string_view t) { ev.text(t); };
    std::string error;
    for (std::size_t at = 0;; at += piece) {
        bool last = at + piece >= xml.size();
        std::size_t n = last ? xml.size() - std::min(at, xml.size()) : piece;
        if (!r.feed(xml.data() + std::min(at, xml.size()), n, last, error)) return {"error"};
        if (last) break;
    }
    return ev.list;
}

void expectSame(const std::string& xml, const std::string& what) {
    std::vector<std::string> want = withExpat(xml);
    for (std::size_t piece : {std::size_t{1} << 30, std::size_t{65536}, std::size_t{7}}) {
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
            expectSame(xml, book.filename().string() + ":" + name);
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
        "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
        "",
        "<a></b>",
        "</a>",
    };
    for (const char* doc : docs) expectSame(doc, doc);
}

}  // namespace
}  // namespace qx::isam::excel12
