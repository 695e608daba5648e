#include "ProfileStoreFixture.h"

namespace {

const QByteArray kThreeGroups =
    "[General]\nkeep = me\n\n[Proxy]\n# how to write a node\n"
    "A = ferrow, a.example, 443, psk=ka, tfo=auto, underlying-proxy=B\n"
    "B = ferrow, b.example, 8443, psk=kb\n\n"
    "[Proxy Group]\n# groups\nG1 = select, A, B, A\nG2 = url-test, B, interval=300\n"
    "G3 = load-balance, A, strategy=round-robin\n\n[Rule]\nFINAL,G1\n";

QStringList membersOf(const QList<QVariantMap>& groups, const QString& name)
{
    for (const QVariantMap& group : groups) {
        if (group.value("name") == name) {
            return group.value("members").toStringList();
        }
    }
    return {"<no group>"};
}

} // namespace

class ProfileEditingTest : public ProfileStoreTest {
protected:
    void SetUp() override
    {
        writeBytes(profileFile("Edit"), kThreeGroups);
        store = loadedStore();
    }

    QString savedText() const { return readText(profileFile("Edit")); }

    std::unique_ptr<FRWProfileStore> store;
};

TEST_F(ProfileEditingTest, NewNodeJoinsEveryGroupOnceAndIsSaved)
{
    store->addNode("C", "c.example", 9000, "kc", QString());
    EXPECT_EQ(membersOf(store->groups(), "G1"), (QStringList{"A", "B", "A", "C"}));
    EXPECT_EQ(membersOf(store->groups(), "G2"), (QStringList{"B", "C"}));
    EXPECT_EQ(membersOf(store->groups(), "G3"), (QStringList{"A", "C"}));
    EXPECT_TRUE(savedText().contains("C = ferrow, c.example, 9000, psk=kc, tfo=off\n"));
    EXPECT_EQ(renderedConfig(), savedText());

    store->addNode("A", "again", 1, "k", "on");
    EXPECT_EQ(membersOf(store->groups(), "G2"), (QStringList{"B", "C", "A"}));
}

TEST_F(ProfileEditingTest, RewriteDropsCommentsOfProxySectionsAndKeepsOtherSections)
{
    store->addNode("C", "c", 1, "k", "off");
    EXPECT_EQ(savedText(), "[General]\nkeep = me\n\n[Proxy]\n"
                           "A = ferrow, a.example, 443, psk=ka, tfo=auto, underlying-proxy=B\n"
                           "B = ferrow, b.example, 8443, psk=kb, tfo=off\n"
                           "C = ferrow, c, 1, psk=k, tfo=off\n"
                           "[Proxy Group]\nG1 = select, A, B, A, C\nG2 = url-test, B, C, interval=300\n"
                           "G3 = load-balance, A, C, strategy=round-robin\n[Rule]\nFINAL,G1\n");
}

TEST_F(ProfileEditingTest, UpdateRenamesOnlyTheFirstReferenceAndKeepsExtras)
{
    store->updateNode("A", "Alpha", "new.example", 10443, "new", "on");
    const QVariantMap alpha = store->nodeDetails("Alpha");
    EXPECT_EQ(alpha.value("server"), "new.example");
    EXPECT_EQ(alpha.value("port"), "10443");
    EXPECT_EQ(alpha.value("tfo"), "on");
    EXPECT_EQ(alpha.value("extra").toMap().value("underlying-proxy"), "B");
    EXPECT_TRUE(store->nodeDetails("A").isEmpty());
    EXPECT_EQ(membersOf(store->groups(), "G1"), (QStringList{"Alpha", "B", "A"}));
    EXPECT_EQ(membersOf(store->groups(), "G3"), (QStringList{"Alpha"}));
}

TEST_F(ProfileEditingTest, DeleteNodeRemovesEveryReference)
{
    store->deleteNode("A");
    EXPECT_EQ(store->editableNodes().size(), 1);
    EXPECT_EQ(membersOf(store->groups(), "G1"), (QStringList{"B"}));
    EXPECT_EQ(membersOf(store->groups(), "G3"), QStringList{});
}

TEST_F(ProfileEditingTest, EditingAMissingNodeStillRegeneratesAndSaves)
{
    store->updateNode("Nope", "X", "x", 1, "k", "off");
    EXPECT_FALSE(savedText().contains("# how to write a node"));
    EXPECT_FALSE(savedText().contains("# groups"));
    EXPECT_EQ(store->editableNodes().size(), 2);
}

TEST_F(ProfileEditingTest, AddGroupReplacesByNameAndKeepsOtherOptions)
{
    store->addGroup("G2", "fallback", {"A"}, QString());
    EXPECT_TRUE(savedText().contains("G2 = fallback, A, interval=300\n"));
    store->addGroup("New", "load-balance", {"A", "B"}, "consistent-hashing");
    EXPECT_TRUE(savedText().contains("New = load-balance, A, B, strategy=consistent-hashing\n"));
    EXPECT_EQ(store->groups().size(), 4);
}

TEST_F(ProfileEditingTest, DeleteGroupRemovesItFromOtherGroups)
{
    store->addGroup("Outer", "select", {"G2", "A", "G2"}, QString());
    store->deleteGroup("G2");
    EXPECT_EQ(membersOf(store->groups(), "Outer"), (QStringList{"A"}));
    EXPECT_EQ(membersOf(store->groups(), "G2"), QStringList{"<no group>"});
}

TEST_F(ProfileEditingTest, RulesRoundTripThroughDisk)
{
    QList<QVariantMap> rules = store->rules();
    rules.prepend({{"type", "DOMAIN-SUFFIX"}, {"value", "example.org"}, {"policy", "G2"}});
    store->setRules(rules);
    const auto reloaded = loadedStore();
    const QList<QVariantMap> expected{{{"type", "DOMAIN-SUFFIX"}, {"value", "example.org"}, {"policy", "G2"}},
                                      {{"type", "FINAL"}, {"value", ""}, {"policy", "G1"}}};
    EXPECT_EQ(reloaded->rules(), expected);
}

TEST_F(ProfileEditingTest, ProfileWithoutRuleSectionGetsOneAppended)
{
    const auto bare = store->addProfileWithName("Bare");
    bare->configText = "[General]\nx = 1\n";
    store->setActiveProfile(bare);
    store->setRules({{{"type", "FINAL"}, {"policy", "DIRECT"}}});
    EXPECT_EQ(readText(profileFile("Bare")), "[General]\nx = 1\n\n\n[Rule]\nFINAL,DIRECT");
}
