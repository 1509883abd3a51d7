// hello.cpp - a first tour of vrd.hpp: a store owner, forms as values, text in and out.
#include <cstdio>
#include <string>

#include <vrd/vrd.hpp>

namespace {

void VRD_CALL onError(const char *routine, int code) {
    std::fprintf(stderr, "vrd error %d in %s: %s\n", code, routine, VRDerrorMessage(code));
}

// Prints one entity of a list by what it holds.
void show(vrd::Entity e) {
    switch (e.kind()) {
    case vrd::Kind::form: {
        vrd::Form form = e.toForm();
        std::printf("  form %.*s with %u entities\n", static_cast<int>(form.keyword().size()),
                    form.keyword().data(), form.size());
        break;
    }
    case vrd::Kind::string: {
        std::string_view text = *e.text();
        std::printf("  string \"%.*s\"\n", static_cast<int>(text.size()), text.data());
        break;
    }
    case vrd::Kind::smallInt:
    case vrd::Kind::bigInt: std::printf("  integer %d\n", *e.toInt()); break;
    case vrd::Kind::real: std::printf("  real %g\n", *e.toReal()); break;
    default: std::printf("  another kind of value\n"); break;
    }
}

}  // namespace

int main() {
    VRDerrorHandler(onError);
    vrd::Store store("demo");  // current from now on; killed when main returns
    if (!store) return 1;

    vrd::Result<vrd::Form> machine = vrd::Form::create("machine");
    if (!machine) return 1;
    vrd::Form m = *machine;
    m.addString("press 7");
    m.addInt(250000000);
    m.addReal(0.25);
    vrd::Result<vrd::Form> part = m.addForm("part");
    if (!part) return 1;
    vrd::Form(*part).addInt(-12);
    m.setProperty(1, 42);

    std::printf("%s holds %u entities:\n", std::string(m.keyword()).c_str(), m.size());
    for (vrd::Entity e : m.entities()) show(e);

    // The text notation and back: the copy read from the text writes the same text.
    vrd::Result<std::string> text = vrd::toText(m);
    if (!text) return 1;
    std::printf("as text:\n%s\n", text->c_str());
    vrd::Result<vrd::Form> copy = vrd::readForm(*text);
    if (!copy) {
        std::printf("reading failed: %s at line %ld\n", std::string(copy.message()).c_str(), copy.line());
        return 1;
    }
    vrd::Result<std::string> again = vrd::toText(*copy);
    bool same = again && *again == *text;
    std::printf("read back: %s\n", same ? "yes" : "no");

    // A broken text says what and where.
    vrd::Result<vrd::Form> broken = vrd::readForm("(machine \"unterminated)");
    std::printf("broken text: %s (line %ld, column %ld)\n", std::string(broken.message()).c_str(), broken.line(),
                broken.column());
    return same && !broken ? 0 : 1;
}
