#include "ProfileStoreFixture.h"

class LegacyMigrationTest : public ProfileStoreTest {
protected:
    QString legacyPath() const { return paths.supportFolder + "/profiles.json"; }
};

TEST_F(LegacyMigrationTest, ConvertsProfilesWithUniqueSanitisedNamesAndTheActiveOne)
{
    writeBytes(legacyPath(), R"({"activeID": "p3", "profiles": [
        {"id": "p1", "name": "Home", "config": "one ferrow"},
        {"id": "p2", "name": "home", "config": "two"},
        {"id": "p3", "name": "x/y", "config": "three"},
        {"id": "p4", "name": 7},
        "not an object"]})");
    const auto store = loadedStore();
    EXPECT_EQ(folderEntries(), (QStringList{"Home.conf", "Profile.conf", "home 2.conf", "x-y.conf"}));
    EXPECT_EQ(readText(profileFile("home 2")), "two");
    EXPECT_EQ(readText(profileFile("Profile")), "");
    EXPECT_EQ(store->activeID(), "x-y");
    EXPECT_EQ(renderedConfig(), "<missing>"); // no save has run yet
    EXPECT_FALSE(QFile::exists(legacyPath()));
}

TEST_F(LegacyMigrationTest, ATakenFileNameKeepsBothTexts)
{
    writeBytes(profileFile("Home"), "already here");
    writeBytes(legacyPath(),
               R"({"activeID": "a", "profiles": [{"id": "a", "name": "Home", "config": "legacy"}]})");
    const auto store = loadedStore();
    EXPECT_EQ(readText(profileFile("Home")), "already here");
    EXPECT_EQ(readText(profileFile("Home 2")), "legacy");
    EXPECT_EQ(store->activeID(), "Home 2");
}

TEST_F(LegacyMigrationTest, AnInterruptedMigrationDoesNotDuplicateOnRetry)
{
    writeBytes(profileFile("Home"), "legacy");
    writeBytes(legacyPath(), R"({"profiles": [{"id": "a", "name": "Home", "config": "legacy"}]})");
    const auto store = loadedStore();
    EXPECT_EQ(folderEntries(), QStringList{"Home.conf"});
}

TEST_F(LegacyMigrationTest, AnUnreadableLibraryIsSetAsideNotRetriedAndNotLost)
{
    writeBytes(legacyPath(), "{ this is not json");
    auto store = loadedStore();
    EXPECT_FALSE(QFile::exists(legacyPath()));
    EXPECT_EQ(readText(paths.supportFolder + "/profiles.json.invalid"), "{ this is not json");
    EXPECT_EQ(names(*store), QStringList{"Default"});

    writeBytes(legacyPath(), "[1, 2]");
    store->load();
    EXPECT_EQ(readText(paths.supportFolder + "/profiles.json.invalid"), "{ this is not json");
    EXPECT_EQ(readText(paths.supportFolder + "/profiles.json.invalid.2"), "[1, 2]");
}

TEST_F(LegacyMigrationTest, ActiveIdMustBeAString)
{
    writeBytes(legacyPath(), R"({"activeID": 2, "profiles": [{"id": 2, "name": "B", "config": "b"},
                                                             {"id": "x", "name": "A", "config": "a"}]})");
    const auto store = loadedStore();
    EXPECT_EQ(store->activeID(), "A");
}
