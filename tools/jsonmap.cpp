// jsonmap.cpp - form trees to JSON text and JSON values to form trees, both without recursion.
#include "jsonmap.h"

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

namespace vrdtool {

const char kMappingHelp[] =
    "JSON mapping:\n"
    "  form        [\"KEYWORD\", entity, ...]; a form whose keyword is a point tag\n"
    "              (PT in any case) has the head {\"keyword\": \"PT\"} instead\n"
    "  point       [\"PT\", x, y]\n"
    "  integer     a number without fraction or exponent: 42, -7 (32 bits)\n"
    "  real        a number with a fraction or exponent: 2.5, 2.0, 1e+20; and\n"
    "              {\"real\": \"nan\"}, {\"real\": \"-nan\"}, {\"real\": \"inf\"}, {\"real\": \"-inf\"}\n"
    "  string      a JSON string: \"text\"\n"
    "  identifier  {\"id\": \"text\"}\n"
    "Texts are bytes in vrd, UTF-8 in JSON.  Places are written as jq paths:\n"
    ".[3][1] is the entity at list position 2 of the form at list position 2.\n";

namespace {

using nlohmann::json;

constexpr uint32_t kTagString = 0x20000000u, kTagId = 0x28000000u, kTagReal = 0x30000000u;
uint32_t tagOf(VRDentity e) { return e.first & 0xF8000000u; }
bool isForm(VRDentity e) { return (e.first & 0x80000000u) != 0; }
bool isPoint(VRDentity e) { return (e.first & 0xC0000000u) == 0x40000000u; }
uint64_t keyOf(VRDentity e) { return (static_cast<uint64_t>(e.first) << 32) | e.second; }
bool isPointTag(const std::string &k) {
    return k.size() == 2 && (k[0] == 'P' || k[0] == 'p') && (k[1] == 'T' || k[1] == 't');
}

// ---- store to JSON ----

class Emitter {
public:
    Emitter(bool pretty, const std::string &where, std::string &out, Findings &losses)
        : pretty_(pretty), where_(where), out_(out), losses_(losses) {}
    void emit(VRDentity root);

private:
    struct Frame {
        VRDentity form;
        uint32_t position;
        std::string path;
    };
    void loss(const std::string &path, std::string message) {
        losses_.push_back(Finding{FindingKind::WriteLoss, 0, 0, 0, place(where_, path), std::move(message)});
    }
    void text(const char *bytes, const std::string &path);
    void real(double v, const std::string &path);
    void value(VRDentity e, const std::string &path);
    bool open(VRDentity form, const std::string &path);

    bool pretty_;
    std::string where_;
    std::string &out_;
    Findings &losses_;
    std::vector<Frame> frames_;
    std::set<uint64_t> open_;
};

// A text as a JSON string; bytes that are not UTF-8 are a loss and become U+FFFD.
void Emitter::text(const char *bytes, const std::string &path) {
    json j = std::string(bytes);
    try {
        out_ += j.dump(-1, ' ', false, json::error_handler_t::strict);
    } catch (const json::type_error &) {
        loss(path, "text '" + showBytes(bytes) + "' is not valid UTF-8; its bad bytes become U+FFFD");
        out_ += j.dump(-1, ' ', false, json::error_handler_t::replace);
    }
}

void Emitter::real(double v, const std::string &path) {
    if (std::isnan(v)) {
        out_ += std::signbit(v) ? "{\"real\":\"-nan\"}" : "{\"real\":\"nan\"}";
        double plain = std::signbit(v) ? -std::nan("") : std::nan("");
        if (std::memcmp(&plain, &v, sizeof v) != 0) loss(path, "a NaN's payload is not kept in JSON");
    } else if (std::isinf(v)) {
        out_ += v < 0 ? "{\"real\":\"-inf\"}" : "{\"real\":\"inf\"}";
    } else {
        out_ += json(v).dump();  // the shortest text that reads back the same, with ".0" if integral
    }
}

void Emitter::value(VRDentity e, const std::string &path) {
    if (isPoint(e)) {
        VRDpoint p = VRDpointGetValue(e);
        out_ += "[\"PT\"," + std::to_string(p.x) + "," + std::to_string(p.y) + "]";
        return;
    }
    switch (tagOf(e)) {
    case 0x08000000u: case 0x10000000u: case 0x18000000u:
        out_ += std::to_string(VRDintGetValue(e));
        return;
    case kTagString: case kTagId:
        if (const char *t = VRDstringGetPtrValue(e)) {
            if (tagOf(e) == kTagId) out_ += "{\"id\":";
            text(t, path);
            if (tagOf(e) == kTagId) out_ += "}";
            return;
        }
        break;
    case kTagReal:
        real(VRDrealGetValue(e), path);
        return;
    default:
        break;
    }
    out_ += "null";
    loss(path, "an entity that names no value is written as null");
}

// Opens a form's array; false when it is left out (killed, or met again inside itself).
bool Emitter::open(VRDentity form, const std::string &path) {
    if (VRDformIsKilled(form)) return false;
    if (open_.count(keyOf(form)) != 0) {
        loss(path, "a form that holds itself is left out where it is met again");
        return false;
    }
    const char *k = VRDformGetPtrKeyword(form);
    std::string keyword = k != nullptr ? k : "";
    if (pretty_ && !frames_.empty()) out_ += "\n" + std::string(2 * frames_.size(), ' ');
    out_ += "[";
    if (isPointTag(keyword)) out_ += "{\"keyword\":";
    text(keyword.c_str(), path + "[0]");
    if (isPointTag(keyword)) out_ += "}";
    open_.insert(keyOf(form));
    frames_.push_back(Frame{form, 0, path});
    return true;
}

void Emitter::emit(VRDentity root) {
    VRDerrorHandlerProc previous = VRDerrorHandler(nullptr);
    if (open(root, "")) {
        while (!frames_.empty()) {
            Frame &f = frames_.back();
            if (f.position >= VRDformEntityCount(f.form)) {
                out_ += "]";
                open_.erase(keyOf(f.form));
                frames_.pop_back();
                continue;
            }
            VRDentity e = VRDformGetEntity(f.form, f.position);
            ++f.position;
            std::string path = f.path + "[" + std::to_string(f.position) + "]";
            if (isForm(e)) {
                if (VRDformIsKilled(e)) continue;  // the writer leaves it out too
                out_ += pretty_ ? "," : ",";
                if (!open(e, path) && !out_.empty()) out_.pop_back();  // nothing written for it
            } else {
                out_ += pretty_ ? ", " : ",";
                value(e, path);
            }
        }
    }
    VRDerrorHandler(previous);
}

// ---- JSON to store ----

// Reports of the library while building, kept for the message.
int buildCode = 0;
void VRD_CALL keepCode(const char *, int code) {
    if (buildCode == 0) buildCode = code;
}

class Builder {
public:
    bool build(const json &value, VRDentity *root, std::string &error);

private:
    struct Frame {
        const json *array;
        size_t next;  // the next element to read
        VRDentity form;
        std::string path;
        std::vector<VRDentity> pending;  // entities not yet handed to the form
    };
    bool fail(const std::string &path, const std::string &why) {
        error_ = "." + path + ": " + why;
        return false;
    }
    bool library(const std::string &path, bool ok) {
        return ok || fail(path, std::string("the store refuses it: ") + VRDerrorMessage(buildCode));
    }
    bool keywordOf(const json &head, const std::string &path, std::string &keyword);
    bool text(const json &j, const std::string &path, std::string &out);
    bool scalar(const json &j, const std::string &path, VRDentity *e);
    bool point(const json &j, const std::string &path, VRDentity *e);
    bool openForm(const json &array, VRDentity owner, const std::string &path);
    bool closeForm();

    std::vector<Frame> frames_;
    std::string error_;
};

bool Builder::text(const json &j, const std::string &path, std::string &out) {
    if (!j.is_string()) return fail(path, "a text is expected here");
    out = j.get<std::string>();
    if (out.find('\0') != std::string::npos) return fail(path, "a vrd text cannot hold the NUL character");
    return true;
}

bool Builder::keywordOf(const json &head, const std::string &path, std::string &keyword) {
    if (head.is_object()) {
        if (head.size() != 1 || !head.contains("keyword"))
            return fail(path, "a form's head is \"KEYWORD\" or {\"keyword\": \"KEYWORD\"}");
        return text(head["keyword"], path + ".keyword", keyword);
    }
    if (!head.is_string()) return fail(path, "a form's head is \"KEYWORD\" or {\"keyword\": \"KEYWORD\"}");
    return text(head, path, keyword);
}

bool Builder::point(const json &j, const std::string &path, VRDentity *e) {
    auto coordinate = [](const json &c) {
        return c.is_number_integer() && c.get<int64_t>() >= INT32_MIN && c.get<int64_t>() <= INT32_MAX;
    };
    if (j.size() != 3 || !coordinate(j[1]) || !coordinate(j[2]))
        return fail(path, "a point is [\"PT\", x, y] with two 32-bit integers; a form with keyword PT has the head {\"keyword\": \"PT\"}");
    return library(path, VRDpointCreate(j[1].get<int32_t>(), j[2].get<int32_t>(), e) == 0);
}

bool Builder::scalar(const json &j, const std::string &path, VRDentity *e) {
    std::string t;
    switch (j.type()) {
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
        if (j.is_number_unsigned() ? j.get<uint64_t>() > INT32_MAX : (j.get<int64_t>() < INT32_MIN || j.get<int64_t>() > INT32_MAX))
            return fail(path, "integer " + j.dump() + " is beyond 32 bits");
        return library(path, VRDintCreate(j.get<int32_t>(), e) == 0);
    case json::value_t::number_float:
        if (!std::isfinite(j.get<double>())) return fail(path, "number " + j.dump() + " is beyond the range of a double");
        return library(path, VRDrealCreate(j.get<double>(), e) == 0);
    case json::value_t::string:
        return text(j, path, t) && library(path, VRDstringCreate(t.c_str(), e) == 0);
    case json::value_t::object:
        if (j.size() == 1 && j.contains("id")) return text(j["id"], path + ".id", t) && library(path, VRDidCreate(t.c_str(), e) == 0);
        if (j.size() == 1 && j.contains("real") && j["real"].is_string()) {
            const std::string &r = j["real"].get_ref<const std::string &>();
            double v = r == "nan" ? std::nan("") : r == "-nan" ? -std::nan("") : r == "inf" ? HUGE_VAL : r == "-inf" ? -HUGE_VAL : 0.0;
            if (v == 0.0) return fail(path + ".real", "a special real is \"nan\", \"-nan\", \"inf\" or \"-inf\"");
            return library(path, VRDrealCreate(v, e) == 0);
        }
        return fail(path, "an object is {\"id\": TEXT}, {\"real\": \"nan\"|\"-nan\"|\"inf\"|\"-inf\"} or a form's head {\"keyword\": TEXT}");
    case json::value_t::null:
        return fail(path, "null has no vrd value");
    case json::value_t::boolean:
        return fail(path, std::string(j.get<bool>() ? "true" : "false") + " has no vrd value (vrd has no booleans)");
    default:
        return fail(path, "this JSON value has no vrd value");
    }
}

bool Builder::openForm(const json &array, VRDentity owner, const std::string &path) {
    if (array.empty()) return fail(path, "a form is [\"KEYWORD\", entity, ...]: an empty array has no keyword");
    std::string keyword;
    if (!keywordOf(array[0], path + "[0]", keyword)) return false;
    VRDentity form;
    if (!library(path, VRDformCreate(owner, VRD_NO_KEY, keyword.c_str(), &form) == 0)) return false;
    if (!frames_.empty()) frames_.back().pending.push_back(form);
    frames_.push_back(Frame{&array, 1, form, path, {}});
    return true;
}

bool Builder::closeForm() {
    Frame &f = frames_.back();
    bool ok = f.pending.empty() ||
              VRDformAddEntities(f.form, 0xFFFFFFFFu, static_cast<uint32_t>(f.pending.size()), f.pending.data()) == 0;
    std::string path = f.path;
    frames_.pop_back();
    return library(path, ok);
}

bool Builder::build(const json &value, VRDentity *root, std::string &error) {
    buildCode = 0;
    VRDerrorHandlerProc previous = VRDerrorHandler(keepCode);
    bool ok;
    if (!value.is_array() || (!value.empty() && value[0] == "PT"))
        ok = fail("", "the top level is a form: [\"KEYWORD\", entity, ...]");
    else
        ok = openForm(value, VRDnullEntity(), "");
    if (ok) *root = frames_.back().form;
    while (ok && !frames_.empty()) {
        Frame &f = frames_.back();
        if (f.next == f.array->size()) {
            ok = closeForm();
            continue;
        }
        const json &j = (*f.array)[f.next++];
        std::string path = f.path + "[" + std::to_string(f.next - 1) + "]";
        VRDentity e;
        if (j.is_array() && !j.empty() && j[0] == "PT") {
            ok = point(j, path, &e);
            if (ok) f.pending.push_back(e);
        } else if (j.is_array()) {
            ok = openForm(j, f.form, path);
        } else {
            ok = scalar(j, path, &e);
            if (ok) f.pending.push_back(e);
        }
    }
    VRDerrorHandler(previous);
    error = error_;
    return ok;
}

}  // namespace

void appendJson(VRDentity root, bool pretty, const std::string &where, std::string &out, Findings &losses) {
    Emitter(pretty, where, out, losses).emit(root);
    out += "\n";
}

bool buildFromJson(const nlohmann::json &value, VRDentity *root, std::string &error) {
    return Builder().build(value, root, error);
}

}  // namespace vrdtool
