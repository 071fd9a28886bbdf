// The .test file runner: records separated by blank lines, run in order on one connection.
#include "sqltest.h"
#include "platform/os/paths.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "platform/jet/connection.h"
#include "platform/jet/recordset.h"
#include "platform/os/encoding.h"
#include "store/working_database.h"

namespace qx::sqltest {
namespace os = qx::os;

namespace fs = std::filesystem;

namespace {

struct Record {
    int line = 0;
    std::string header;
    std::vector<std::string> body;      // lines before "----"
    std::vector<std::string> expected;  // lines after "----"
    bool hasSeparator = false;
};

std::vector<Record> parseRecords(std::istream& in) {
    std::vector<Record> records;
    Record current;
    std::string line;
    int number = 0;
    auto flush = [&] {
        if (!current.header.empty()) records.push_back(current);
        current = Record{};
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) {
            flush();
            continue;
        }
        if (line[0] == '#') continue;
        if (current.header.empty()) {
            current.header = line;
            current.line = number;
        } else if (line == "----" && !current.hasSeparator) {
            current.hasSeparator = true;
        } else if (current.hasSeparator) {
            current.expected.push_back(line);
        } else {
            current.body.push_back(line);
        }
    }
    flush();
    return records;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += (out.empty() ? "" : "\n") + l;
    return out;
}

fs::path makeTempDir(const std::string& prefix) {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / (prefix + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) return p;
    }
    return fs::temp_directory_path();
}

std::vector<std::string> readTextLines(const fs::path& file, bool& ok) {
    std::ifstream in(file, std::ios::binary);
    ok = static_cast<bool>(in);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return os::textLines(data);
}

std::string describeRows(const std::vector<std::string>& rows) {
    std::string out;
    for (const auto& r : rows) out += "\n    " + r;
    return rows.empty() ? " (no rows)" : out;
}

class FileRun {
  public:
    FileRun(const fs::path& file, const Options& options, std::ostream& out)
        : file_(file), out_(out) {
        progdir_ = makeTempDir("qx_sqltest_prog_");
        if (options.tmp.empty()) {
            tmp_ = makeTempDir("qx_sqltest_tmp_");
            ownTmp_ = true;
        } else {
            tmp_ = options.tmp;
            std::error_code ec;
            fs::create_directories(tmp_, ec);
        }
        flavour_ = options.flavour == "accdb" ? store::Flavour::Ace : store::Flavour::Jet;
    }

    ~FileRun() {
        connection_.close();
        std::error_code ec;
        fs::remove_all(progdir_, ec);
        if (ownTmp_) fs::remove_all(tmp_, ec);
    }

    Tally run() {
        std::ifstream in(file_);
        if (!in) {
            out_ << file_.string() << ":0: cannot read the file\n";
            return {0, 1};
        }
        store::WorkingDatabase wdb(progdir_);
        std::string error;
        if (!wdb.createIfAbsent(flavour_, &error) ||
            !connection_.open(wdb.connectionString(flavour_))) {
            out_ << file_.string() << ":0: cannot create the working database: " << error << "\n";
            return {0, 1};
        }
        Tally tally;
        for (const Record& r : parseRecords(in)) {
            std::string why = check(r);
            if (why.empty()) {
                ++tally.passed;
            } else {
                ++tally.failed;
                out_ << file_.string() << ":" << r.line << ": " << why << "\n";
            }
        }
        return tally;
    }

  private:
    std::string expand(std::string s) const {
        std::string dir = os::genericUtf8(fs::absolute(file_).parent_path());
        s = replaceAll(std::move(s), "$PROGDIR", os::genericUtf8(progdir_));
        s = replaceAll(std::move(s), "$DIR", dir);
        return replaceAll(std::move(s), "$TMP", os::genericUtf8(tmp_));
    }

    std::vector<std::string> expandAll(const std::vector<std::string>& lines) const {
        std::vector<std::string> out;
        for (const auto& l : lines) out.push_back(expand(l));
        return out;
    }

    std::string check(const Record& r) {
        std::istringstream words(r.header);
        std::string kind;
        words >> kind;
        std::string rest;
        std::getline(words, rest);
        rest.erase(0, rest.find_first_not_of(' '));
        rest = expand(rest);

        if (kind == "statement") {
            std::string sql = expand(joinLines(r.body));
            jet::Outcome o = connection_.execute(sql);
            if (rest == "ok") return o.ok ? "" : "statement failed: " + o.message;
            if (rest.rfind("error", 0) == 0) {
                std::string text = rest.size() > 5 ? rest.substr(6) : "";
                if (o.ok) return "statement succeeded, expected an error";
                if (!text.empty() && o.message.find(text) == std::string::npos)
                    return "error message \"" + o.message + "\" does not contain \"" + text + "\"";
                return "";
            }
            return "unknown statement record: " + r.header;
        }
        if (kind == "query") return checkQuery(r, rest == "rowsort");
        if (kind == "fields") {
            jet::Recordset rs;
            jet::Outcome o = rs.open(connection_, rest);
            if (!o.ok) return "cannot open " + rest + ": " + o.message;
            std::vector<std::string> got;
            for (int i = 0; i < rs.fieldCount(); ++i)
                got.push_back(rs.field(i).name + "|" + std::to_string(rs.field(i).typeCode()) +
                              "|" + std::to_string(rs.field(i).definedSize()));
            return compare(got, expandAll(r.expected), false);
        }
        if (kind == "tables") return compare(connection_.tables(), expandAll(r.expected), true);
        if (kind == "exists" || kind == "absent") {
            std::error_code ec;
            bool there = fs::exists(os::pathFromUtf8(rest), ec);
            if (kind == "exists" && !there) return "no file at " + rest;
            if (kind == "absent" && there) return "a file is at " + rest;
            return "";
        }
        if (kind == "textfile") {
            bool ok = false;
            std::vector<std::string> got = readTextLines(os::pathFromUtf8(rest), ok);
            if (!ok) return "cannot read " + rest;
            return compare(got, expandAll(r.expected), false);
        }
        return "unknown record: " + r.header;
    }

    std::string checkQuery(const Record& r, bool rowsort) {
        std::string sql = expand(joinLines(r.body));
        jet::Recordset rs;
        jet::Outcome o = rs.open(connection_, sql);
        if (!o.ok) return "query failed: " + o.message;
        std::vector<std::string> got;
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
            std::string row;
            for (int i = 0; i < rs.fieldCount(); ++i) {
                if (i) row += "|";
                auto v = rs.value(i);
                row += !v ? "NULL" : v->empty() ? "(empty)" : *v;
            }
            got.push_back(row);
        }
        return compare(got, expandAll(r.expected), rowsort);
    }

    static std::string compare(std::vector<std::string> got, std::vector<std::string> want,
                               bool sorted) {
        if (sorted) {
            std::sort(got.begin(), got.end());
            std::sort(want.begin(), want.end());
        }
        if (got == want) return "";
        return "expected:" + describeRows(want) + "\n  got:" + describeRows(got);
    }

    fs::path file_;
    std::ostream& out_;
    fs::path progdir_;
    fs::path tmp_;
    bool ownTmp_ = false;
    store::Flavour flavour_;
    jet::Connection connection_;
};

}  // namespace

Tally runFile(const fs::path& file, const Options& options, std::ostream& out) {
    FileRun run(file, options, out);
    return run.run();
}

}  // namespace qx::sqltest
