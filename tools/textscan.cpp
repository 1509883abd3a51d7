// textscan.cpp - the loss scan: the reader's lexical state machine, kept in step with src/files/reader.cpp.
#include "textscan.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace vrdtool {

namespace {

constexpr int kStackDepth = kMaxDepth + 1;  // the reader's parse-state and context stacks
constexpr int kEnd = 0xFF;

bool isWhite(int c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
bool isDelimiter(int c) { return c == '(' || c == ')' || c == '"'; }
bool endsToken(int c) { return isWhite(c) || isDelimiter(c) || c == kEnd; }

struct OpenForm {
    std::string keyword;
    long line;
    long column;
};

// The scan's state: the reader's stacks reduced to their depths, and the
// place of the last byte read, counted as the text channel counts it.
class Scanner {
public:
    Scanner(std::string_view text, WriteMode mode, const std::function<double(double)> &stored)
        : text_(text), mode_(mode), stored_(stored) {}
    Findings run();

private:
    int next();
    int skipWhite(int c) {
        while (isWhite(c)) c = next();
        return c;
    }
    void add(FindingKind kind, int code, std::string message) {
        found_.push_back(Finding{kind, code, line_, column_, std::string(), std::move(message)});
    }
    void addAt(long line, long column, std::string message) {
        found_.push_back(Finding{FindingKind::ReadLoss, 0, line, column, std::string(), std::move(message)});
    }
    int gather(int c, std::string &token);
    void tokenLosses(const std::string &token, long line, long column, const char *what);
    bool entities(int &c);
    bool keyword(int &c);
    void value(int &c);
    void string(int &c);
    void point(int &c);
    bool createForm(const std::string &keyword, long line, long column);
    void endOfInput();

    std::string_view text_;
    WriteMode mode_;
    const std::function<double(double)> &stored_;
    size_t at_ = 0;
    bool ended_ = false;
    long line_ = 0, column_ = 0;
    bool afterNewline_ = false;
    int states_ = 0;                // parse states on the reader's stack
    std::vector<OpenForm> forms_;   // the forms open, outermost first
    bool keywordExpected_ = false;  // the top parse state
    bool cut_ = false;              // the last token gathered was cut
    std::string token_;             // the value token being judged, its buffer reused
    long groupLine_ = 0, groupColumn_ = 0;  // the "(" of the group being opened
    Findings found_;
};

int Scanner::next() {
    if (ended_) return kEnd;
    if (at_ == text_.size()) {
        ended_ = true;
        return kEnd;
    }
    int c = static_cast<unsigned char>(text_[at_++]);
    if (line_ == 0 || afterNewline_) {
        ++line_;
        column_ = 1;
    } else {
        ++column_;
    }
    afterNewline_ = c == '\n';
    if (c == kEnd) {
        ended_ = true;
        size_t rest = text_.size() - at_;
        if (text_.substr(at_).find_first_not_of(" \t\n\v\f\r") != std::string_view::npos)
            add(FindingKind::ReadLoss, 0,
                "byte 0xFF ends the text here: the " + std::to_string(rest) + " bytes after it are not read");
    }
    return c;
}

// A token as the reader gathers it: up to kMaxToken bytes kept, the rest
// dropped (cut_ tells).
int Scanner::gather(int c, std::string &token) {
    token.clear();
    cut_ = false;
    for (; !endsToken(c); c = next()) {
        if (token.size() < static_cast<size_t>(kMaxToken))
            token += static_cast<char>(c);
        else
            cut_ = true;
    }
    return c;
}

void Scanner::tokenLosses(const std::string &token, long line, long column, const char *what) {
    if (cut_)
        addAt(line, column, std::string(what) + " longer than " + std::to_string(kMaxToken) + " bytes is cut to its first " +
                                std::to_string(kMaxToken));
    size_t nul = token.find('\0');
    if (nul != std::string::npos)
        addAt(line, column, std::string(what) + " '" + showBytes(token) + "' holds a NUL byte and is cut there");
}

bool Scanner::createForm(const std::string &keyword, long line, long column) {
    if (static_cast<int>(forms_.size()) == kStackDepth) {
        add(FindingKind::Detail, VRD_E_BADFORM, "nesting deeper than " + std::to_string(kMaxDepth) + " levels");
        return false;
    }
    forms_.push_back(OpenForm{keyword, line, column});
    keywordExpected_ = false;
    return true;
}

bool Scanner::keyword(int &c) {
    long line = groupLine_, column = groupColumn_;
    if (isDelimiter(c)) return createForm("", line, column);
    long tokenLine = line_, tokenColumn = column_;
    std::string token;
    c = gather(c, token);
    tokenLosses(token, tokenLine, tokenColumn, "keyword");
    if (token.size() == 2 && (token[0] == 'P' || token[0] == 'p') && (token[1] == 'T' || token[1] == 't')) {
        point(c);
        return true;
    }
    return createForm(token, line, column);
}

// A coordinate, wrapping in 32 bits as the reader does; a value beyond 32
// bits is a loss.
void Scanner::point(int &c) {
    for (int i = 0; i < 2; ++i) {
        c = skipWhite(c);
        long line = line_, column = column_;
        bool negative = c == '-';
        std::string digits;
        if (c == '-' || c == '+') c = next();
        uint32_t v = 0;
        for (; c >= '0' && c <= '9'; c = next()) {
            v = v * 10u + static_cast<uint32_t>(c - '0');
            digits += static_cast<char>(c);
        }
        int64_t wrapped = static_cast<int32_t>(negative ? 0u - v : v);
        size_t first = digits.find_first_not_of('0');
        std::string significant = first == std::string::npos ? "0" : digits.substr(first);
        std::string exact = (negative && significant != "0" ? "-" : "") + significant;
        if (exact != std::to_string(wrapped))
            addAt(line, column, "coordinate " + exact + " is beyond 32 bits and reads as " + std::to_string(wrapped));
    }
    c = skipWhite(c);
    --states_;
    keywordExpected_ = false;
    if (c != ')') {
        add(FindingKind::Detail, VRD_E_BADPOINT,
            "a point group is (PT x y); what follows the y coordinate is read into the enclosing form");
        return;
    }
    c = next();
}

void Scanner::value(int &c) {
    long line = line_, column = column_;
    std::string &token = token_;
    c = gather(c, token);
    tokenLosses(token, line, column, "token");
    const char *text = token.c_str();  // as the reader sees it: cut at a NUL
    if (token.find('.') != std::string::npos) {
        double real;
        int used = 0;
        if (std::sscanf(text, "%lf%n", &real, &used) != 1) return;  // an identifier
        std::string value = shortest(real);
        if (text[used] != '\0') addAt(line, column, "'" + showBytes(token) + "' reads as the real " + value + ": the rest is dropped");
        double held = stored_ ? stored_(real) : real;  // what the writer will write
        {
            if (std::memcmp(&held, &real, sizeof held) != 0 && !(std::isnan(held) && std::isnan(real))) {
                addAt(line, column, "real " + value + " reads as " + shortest(held) +
                                        ": the store keeps reals closer than 2^-52 as one");
            }
        }
        const std::string &loss = realLoss(held, mode_);
        if (!loss.empty()) {
            found_.push_back(Finding{FindingKind::WriteLoss, 0, line, column, std::string(),
                                     loss + (mode_.exactReals ? "" : " (--exact-reals keeps it)")});
        }
        return;
    }
    const char *p = text + (*text == '-' || *text == '+');
    if (std::strspn(p, "0123456789") != std::strlen(p)) return;  // an identifier
    // An integer: the reader wraps it in 32 bits.
    size_t first = std::strspn(p, "0");
    std::string significant = p[first] == '\0' ? "0" : std::string(p + first);
    std::string exact = (*text == '-' && significant != "0" ? "-" : "") + significant;
    uint32_t v = 0;
    for (const char *d = p; *d != '\0'; ++d) v = v * 10u + static_cast<uint32_t>(*d - '0');
    int32_t wrapped = static_cast<int32_t>(*text == '-' ? 0u - v : v);
    if (exact != std::to_string(wrapped))
        addAt(line, column, "integer " + exact + " is beyond 32 bits and reads as " + std::to_string(wrapped));
}

void Scanner::string(int &c) {
    long line = line_, column = column_;
    size_t length = 0;
    bool nul = false;
    for (;;) {
        c = next();
        if (c == '"') break;
        if (c == kEnd) {
            add(FindingKind::Detail, VRD_E_BADSTRING, "the text ends inside a string");
            break;
        }
        nul = nul || c == 0;
        if (++length == static_cast<size_t>(kMaxString) + 1) {
            add(FindingKind::Detail, VRD_E_BADSTRING,
                "string longer than " + std::to_string(kMaxString) + " bytes (the rest is read as tokens)");
            break;
        }
    }
    if (nul) addAt(line, column, "a string holds a NUL byte and is cut there");
    c = next();
}

bool Scanner::entities(int &c) {
    switch (c) {
    case '(':
        if (states_ == kStackDepth) {
            add(FindingKind::Detail, VRD_E_BADFORM, "nesting deeper than " + std::to_string(kMaxDepth) + " levels");
            return false;
        }
        ++states_;
        keywordExpected_ = true;
        groupLine_ = line_;
        groupColumn_ = column_;
        c = next();
        return true;
    case ')':
        forms_.pop_back();
        --states_;
        c = next();
        return true;
    case '"':
        string(c);
        return true;
    default:
        break;
    }
    if (c >= 0x21 && c <= 0x7E) {
        value(c);
        return true;
    }
    // Bytes that cannot begin a token are skipped; say what that does to
    // the value they begin.
    long line = line_, column = column_;
    std::string skipped, kept;
    for (; !endsToken(c) && (c < 0x21 || c > 0x7E); c = next()) skipped += static_cast<char>(c);
    // The token they stand before, as it will be read (c is its first byte).
    for (size_t i = at_ - 1; c != kEnd && i < text_.size() && !endsToken(static_cast<unsigned char>(text_[i])); ++i)
        kept += text_[i];
    addAt(line, column, kept.empty()
                            ? "'" + showBytes(skipped) + "': bytes outside 0x21-0x7E cannot begin a value and are skipped"
                            : "'" + showBytes(skipped + kept) + "' reads as '" + showBytes(kept) +
                                  "': bytes outside 0x21-0x7E cannot begin a value");
    return true;
}

void Scanner::endOfInput() {
    // Every form still open is reported once, innermost first.
    for (size_t i = forms_.size(); i > 1; --i) {
        const OpenForm &f = forms_[i - 1];
        add(FindingKind::Detail, VRD_E_BADFORM,
            "the text ends inside form '" + showBytes(f.keyword) + "' opened at " + std::to_string(f.line) + ":" +
                std::to_string(f.column));
    }
}

Findings Scanner::run() {
    // Before the first "(": anything but white space is skipped, reported once.
    bool junk = false;
    int c;
    for (;;) {
        c = next();
        if (c == '(' || c == kEnd) break;
        if (!isWhite(c) && !junk) {
            add(FindingKind::Detail, VRD_E_DATABEFORE, "the text before the first '(' is skipped");
            junk = true;
        }
    }
    if (c == kEnd) {
        add(FindingKind::Detail, VRD_E_NODATA, "the text holds no form");
        return std::move(found_);
    }
    states_ = 2;
    keywordExpected_ = true;
    groupLine_ = line_;
    groupColumn_ = column_;
    forms_.push_back(OpenForm{"", 0, 0});  // the outer context
    c = next();
    for (;;) {
        c = skipWhite(c);
        if (c == kEnd) {
            endOfInput();
            break;
        }
        bool goOn;
        if (states_ == 1) {
            add(FindingKind::Detail, VRD_E_DATAAFTER, "only white space may follow the last form; reading stops here");
            break;
        }
        goOn = keywordExpected_ ? keyword(c) : entities(c);
        if (!goOn) break;
    }
    return std::move(found_);
}

}  // namespace

Findings scanText(std::string_view text, WriteMode mode, const std::function<double(double)> &storedReal) {
    return Scanner(text, mode, storedReal).run();
}

}  // namespace vrdtool
