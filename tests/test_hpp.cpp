// test_hpp.cpp - what vrd.hpp adds over the C routines: ownership, results, live lists, texts.
#include <cstdio>
#include <string>
#include <vector>

#include "support.h"
#include "vrd/vrd.hpp"

namespace vrdtest {
namespace {

using Hpp = StoreTest;

// The owner kills its store exactly once, wherever the store ends up.
TEST_F(Hpp, StoreOwnerKillsItsStoreOnce) {
    {
        vrd::Store a("a");
        ASSERT_TRUE(a && a.isCurrent() && VRDget("a") == a.get());
        vrd::Store b(std::move(a));  // moved: `a` holds nothing and kills nothing
        EXPECT_TRUE(!a && b && VRDget("a") == b.get());
        vrd::Store c("c");
        EXPECT_TRUE(b.makeCurrent() && b.isCurrent() && !c.isCurrent());
        c = std::move(b);  // "c" is killed, "a" changes hands
        EXPECT_TRUE(VRDget("c") == nullptr && VRDget("a") == c.get());
        vrd::Store taken("a");  // the name is in use: no store, no report
        EXPECT_FALSE(taken);
        EXPECT_EQ(taken.makeCurrent().code(), VRD_E_UNKNOWN);
    }
    EXPECT_TRUE(VRDget("a") == nullptr && VRDget(nullptr) == store);  // the current one went too
    VRDstore *kept = nullptr;
    {
        vrd::Store d("d");
        kept = d.release();
    }
    EXPECT_EQ(VRDget("d"), kept);
    EXPECT_TRUE(takeReports().empty());  // never a second kill (-3 under "VRDkill")
}

// A result holds the first report of its call, while the host's handler still
// receives every report, and gets its place back afterwards.
TEST_F(Hpp, ResultsKeepTheFirstReportAndTheHostHandlerSeesAll) {
    vrd::Form bad(entity(0x80000000u | 77u, 3));
    vrd::Status s = bad.setOwner(vrd::Form());
    EXPECT_TRUE(!s && s.code() == VRD_E_BADFORM && s.routine() == "formptr" && s.message() == "Bad form");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"formptr", -9}, {"VRDformSetOwner", -9}}));
    EXPECT_EQ(VRDerrorHandler(recordReport), recordReport);

    VRDerrorHandler(nullptr);  // no host handler: still captured, still none after
    vrd::Result<vrd::Form> orphan = vrd::Form::create(VRD_NO_KEY - 1);
    EXPECT_TRUE(!orphan && orphan.code() == VRD_E_BADFORM && orphan.routine() == "VRDformCreate" && orphan->isNull());
    EXPECT_EQ(VRDerrorHandler(recordReport), nullptr);

    vrd::Result<vrd::Form> f = vrd::Form::create("K");
    ASSERT_TRUE(f && f.code() == VRD_OK && f.routine().empty() && f->keyword() == "K");
    EXPECT_EQ(f->property(5), std::nullopt);
    EXPECT_TRUE(vrd::Form(*f).setProperty(5, -1) && f->property(5) == -1);
    EXPECT_TRUE(vrd::Form(*f).erase(3).code() == VRD_E_BADPOSITION && !vrd::Form(*f).set(0, *f));
    heapwrapFailNth(1);
    vrd::Result<vrd::Entity> big = vrd::Entity::integer(1 << 30);
    EXPECT_TRUE(!big && big.code() == VRD_E_NOMEM && big.routine() == "VRDintCreate");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformDeleteEntities", -14}, {"VRDformSetEntity", -14},
                                                  {"VRDintCreate", -2}}));
}

// Values read back through the typed getters, by kind only.
TEST_F(Hpp, EntitiesGiveTheirValuesByKind) {
    std::string buffer = "keyword and more";  // a view that ends before the zero byte
    vrd::Result<vrd::Entity> made[] = {vrd::Entity::integer(-5), vrd::Entity::integer(1 << 30),
                                       vrd::Entity::real(2.5), vrd::Entity::point(7, -8),
                                       vrd::Entity::string(std::string_view(buffer).substr(0, 7)),
                                       vrd::Entity::id("id")};
    for (const auto &m : made) ASSERT_TRUE(m) << m.routine();
    EXPECT_TRUE(made[0]->toInt() == -5 && made[1]->toInt() == 1 << 30 && !made[2]->toInt());
    EXPECT_TRUE(made[2]->toReal() == 2.5 && !made[0]->toReal() && !made[3]->text());
    EXPECT_TRUE(made[3]->toPoint()->x == 7 && made[3]->toPoint()->y == -8 && !made[4]->toPoint());
    EXPECT_TRUE(made[4]->text() == "keyword" && made[5]->text() == "id" && made[5]->kind() == vrd::Kind::id);
    EXPECT_TRUE(made[4]->toForm().isNull() && vrd::Entity().kind() == vrd::Kind::none);
    EXPECT_TRUE(*made[4] != *made[5] && *made[4] == *vrd::Entity::string("keyword"));
    EXPECT_TRUE(takeReports().empty());
}

// Range-for reads the list as it is at each step: growing or shrinking it in
// the loop body neither stops the walk early nor reads a released list.
TEST_F(Hpp, EntityListsFollowTheLiveList) {
    vrd::Form f = *vrd::Form::create("LIST");
    for (int32_t i = 0; i < 3; ++i) ASSERT_TRUE(f.addInt(i));
    std::vector<int32_t> seen;
    for (vrd::Entity e : f.entities()) {
        seen.push_back(*e.toInt());
        if (seen.size() <= 3) f.addInt(10 + static_cast<int32_t>(seen.size()));  // the list moves in its slab
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2, 11, 12, 13}));
    seen.clear();
    for (vrd::Entity e : f.entities()) {
        seen.push_back(*e.toInt());
        f.erase(vrd::atEnd);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_TRUE(f.entities().size() == 3 && f.entities()[vrd::atEnd] == *vrd::Entity::integer(2));
    EXPECT_TRUE(f.find(*vrd::Entity::integer(1)) == 1u && !f.find(*vrd::Entity::integer(9)));
    ASSERT_TRUE(f.kill());
    EXPECT_TRUE(f.killed() && f.entities().begin() == f.entities().end());
    takeReports();
}

// Texts in and out: round trip, a failure with its place, an into-form read.
TEST_F(Hpp, TextCallsReturnWhatTheyReadAndWhereTheyStopped) {
    vrd::Result<vrd::Form> read = vrd::readForm("(MACHINE \"press\" 7 (PART -12 1.5))");
    ASSERT_TRUE(read) << read.message();
    EXPECT_TRUE(read->keyword() == "MACHINE" && read->size() == 3 && (*read)[2].toForm().owner() == *read);
    vrd::Result<std::string> text = vrd::toText(*read);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "\n(MACHINE \"press\" 7\n (PART -12 1.5))");
    EXPECT_EQ(*vrd::toText(*read, 0, false), "\n(MACHINE \"press\" 7\n(PART -12 1.5))");

    // The form read before the report stays the result's value.
    vrd::Result<vrd::Form> broken = vrd::readForm("(A 1)\n(B \"open");
    EXPECT_TRUE(!broken && broken.code() == VRD_E_DATAAFTER && broken.routine() == "VRDfileReadEntity");
    EXPECT_TRUE(broken.line() == 2 && broken.column() == 1 && broken->keyword() == "A");
    EXPECT_EQ(vrd::readForm("  ").code(), VRD_E_NODATA);
    takeReports();

    vrd::TextFile more = vrd::TextFile::reading("4 5");
    vrd::Result<vrd::Entity> first = vrd::readEntity(more, *read, 1);  // into MACHINE, before 7
    ASSERT_TRUE(first);
    EXPECT_TRUE(*first == *vrd::Entity::integer(4) && read->size() == 5 && (*read)[2].toInt() == 5);
    vrd::TextFile none;  // holds no channel
    EXPECT_EQ(vrd::readEntity(none, *read).code(), VRD_E_OPEN);

    heapwrapFailNth(1);  // the buffer channel cannot be made
    vrd::Result<std::string> lost = vrd::toText(*read);
    EXPECT_TRUE(!lost && lost.code() == VRD_E_NOMEM && lost->empty());
}

// Binary dumps report through their results, and a dump reads back whole.
TEST_F(Hpp, BinaryCallsReturnTheirStatus) {
    std::string path = scratchPath("hpp.bin");
    vrd::Form f = *vrd::Form::create("DUMPED");
    ASSERT_TRUE(f.addString("kept") && vrd::writeBinary(path));
    vrd::Result<std::string> before = vrd::toText(f);
    ASSERT_TRUE(f.kill());
    ASSERT_TRUE(vrd::readBinary(path));
    EXPECT_EQ(*vrd::toText(f), *before);
    std::remove(path.c_str());
    vrd::Status missing = vrd::readBinary(path);
    EXPECT_TRUE(missing.code() == VRD_E_OPEN && missing.routine() == "VRDfileReadBinary");
    EXPECT_EQ(vrd::writeBinary(scratchPath("no/such/dir.bin")).code(), VRD_E_OPEN);
}

}  // namespace
}  // namespace vrdtest
