#include "FRWProfileDocument.h"
#include "ProfileStoreFixture.h"

TEST_F(ProfileStoreTest, FirstStartMakesTheDefaultProfileActiveEverywhere)
{
    const auto store = loadedStore();
    ASSERT_EQ(names(*store), QStringList{"Default"});
    EXPECT_EQ(store->activeID(), "Default");
    EXPECT_EQ(store->activeProfile()->configText, FRWProfileStore::templateConfig());
    EXPECT_EQ(readText(profileFile("Default")), FRWProfileStore::templateConfig());
    EXPECT_EQ(renderedConfig(), FRWProfileStore::templateConfig());
    EXPECT_EQ(storedDefault("FRWActiveProfile").toString(), "Default");
    EXPECT_TRUE(store->isConfigured());
}

TEST_F(ProfileStoreTest, LoadSortsLikeAFileBrowserAndFallsBackToTheFirstProfile)
{
    for (const char* name : {"b", "a10", "a9", "A1"}) {
        writeBytes(profileFile(name), QByteArray("[Rule]\nFINAL,") + name);
    }
    QSettings(paths.settingsFile, QSettings::IniFormat).setValue("FRWActiveProfile", "gone");
    const auto store = loadedStore();
    EXPECT_EQ(names(*store), (QStringList{"A1", "a9", "a10", "b"}));
    EXPECT_EQ(store->activeID(), "A1");
    EXPECT_EQ(store->rules().at(0).value("policy"), "A1");
}

TEST_F(ProfileStoreTest, LoadReadsOnlyUtf8ConfFilesAndTheSweepKeepsEverythingElse)
{
    writeBytes(profileFile("Good"), "ferrow");
    writeBytes(profileFile("a.b"), "dots");
    writeBytes(profileFile("Latin1"), "caf\xe9");
    writeBytes(profilesDir() + "/notes.txt", "mine");
    writeBytes(profilesDir() + "/folder.conf/inside", "x");
    const auto store = loadedStore();
    EXPECT_EQ(names(*store), (QStringList{"a.b", "Good"}));

    store->deleteProfile(store->profileNamed("a.b"));
    EXPECT_EQ(folderEntries(), (QStringList{"Good.conf", "Latin1.conf", "folder.conf", "notes.txt"}));
    EXPECT_EQ(readText(profilesDir() + "/notes.txt"), "mine");
}

TEST_F(ProfileStoreTest, SanitisedNames)
{
    EXPECT_EQ(FRWProfileStore::sanitizedName("a/b:c"), "a-b-c");
    EXPECT_EQ(FRWProfileStore::sanitizedName("..hidden"), "hidden");
    EXPECT_EQ(FRWProfileStore::sanitizedName(". .x"), " .x");
    EXPECT_EQ(FRWProfileStore::sanitizedName(""), "Untitled");
    EXPECT_EQ(FRWProfileStore::sanitizedName(" \t\n "), "Untitled");
    EXPECT_EQ(FRWProfileStore::sanitizedName("..."), "Untitled");
    EXPECT_EQ(FRWProfileStore::sanitizedName("\n Work \n"), "Work");
    EXPECT_EQ(FRWProfileStore::sanitizedName(QString(300, u'x')), QString(200, u'x'));
    EXPECT_EQ(FRWProfileStore::sanitizedName(QString(200, u'x')), QString(200, u'x'));
}

TEST_F(ProfileStoreTest, LongNamesStayWithinTheFileSystemLimitWithoutSplittingCharacters)
{
    // Room for ".conf" and the ".XXXXXX" of the temporary file written beside it.
    const QString wide = FRWProfileStore::sanitizedName(QString(200, QChar(0x4E2D))); // 3 bytes each
    EXPECT_LE(wide.toUtf8().size() + 5 + 7, 255);
    EXPECT_EQ(wide, QString(81, QChar(0x4E2D)));

    QString emoji;
    for (int i = 0; i < 120; ++i) {
        emoji += QStringLiteral("\U0001F600");
    }
    const QString cut = FRWProfileStore::sanitizedName(emoji);
    EXPECT_FALSE(cut.back().isHighSurrogate());
    EXPECT_EQ(cut.toUtf8().size() % 4, 0);

    const auto store = loadedStore();
    store->activeProfile()->name = emoji;
    store->save();
    EXPECT_EQ(readText(profileFile(cut)), FRWProfileStore::templateConfig());
}

TEST_F(ProfileStoreTest, UniqueNamesIgnoreCaseAndTheExcludedProfile)
{
    const auto store = loadedStore();
    const auto home = store->addProfileWithName("home");
    EXPECT_EQ(store->uniqueNameFrom("Home", nullptr), "Home 2");
    EXPECT_EQ(store->uniqueNameFrom("Home", home.get()), "Home");
    store->addProfileWithName("Home 2");
    EXPECT_EQ(store->uniqueNameFrom("HOME", nullptr), "HOME 3");
    EXPECT_EQ(store->addProfileWithName("Home")->name, "Home 3");
}

TEST_F(ProfileStoreTest, NameClashResolvesInFavourOfTheLaterProfile)
{
    const auto store = loadedStore();
    const auto first = store->addProfileWithName("Home");
    const auto second = store->addProfileWithName("Other");
    second->name = "HOME";
    store->save();
    EXPECT_EQ(first->name, "Home 2");
    EXPECT_EQ(second->name, "HOME");
    EXPECT_EQ(folderEntries(), (QStringList{"Default.conf", "HOME.conf", "Home 2.conf"}));
}

TEST_F(ProfileStoreTest, RenamingTheActiveProfileMovesItsFileAndTheActiveName)
{
    const auto store = loadedStore();
    const auto home = store->addProfileWithName("Home");
    store->setActiveProfile(home);
    home->name = "Work";
    home->configText = "edited ferrow";
    store->save();
    EXPECT_EQ(home->identifier, "Work");
    EXPECT_EQ(store->activeID(), "Work");
    EXPECT_EQ(storedDefault("FRWActiveProfile").toString(), "Work");
    EXPECT_EQ(folderEntries(), (QStringList{"Default.conf", "Work.conf"}));
    EXPECT_EQ(readText(profileFile("Work")), "edited ferrow");
    EXPECT_EQ(renderedConfig(), "edited ferrow");
}

TEST_F(ProfileStoreTest, ARenameThatCannotBeWrittenKeepsTheOldFile)
{
    const auto store = loadedStore();
    const auto home = store->addProfileWithName("Home");
    home->configText = "home text";
    store->save();
    QDir().mkpath(profilesDir() + "/Work.conf"); // a folder where the new file would go
    home->name = "Work";
    store->save();
    EXPECT_EQ(readText(profileFile("Home")), "home text");
    EXPECT_EQ(home->identifier, "Home");

    // Later saves keep it too, and a new profile of the old name does not take its file.
    store->save();
    const auto newcomer = store->addProfileWithName("Home");
    EXPECT_EQ(newcomer->name, "Home 2");
    EXPECT_EQ(readText(profileFile("Home")), "home text");
    QStringList restarted = names(*loadedStore());
    restarted.sort();
    EXPECT_EQ(restarted, (QStringList{"Default", "Home", "Home 2"}));

    // Once the way is clear the rename goes through.
    QDir(profilesDir() + "/Work.conf").removeRecursively();
    store->save();
    EXPECT_EQ(home->identifier, "Work");
    EXPECT_EQ(readText(profileFile("Work")), "home text");
    EXPECT_FALSE(QFile::exists(profileFile("Home")));
}

TEST_F(ProfileStoreTest, NamesAtTheLengthLimitSaveAndKeepTheirCopies)
{
    const auto store = loadedStore();
    const auto wide = store->addProfileWithName(QString(83, QChar(0x4E2D))); // 249 bytes
    wide->configText = "wide ferrow";
    store->save();
    const auto first = store->duplicateProfile(wide);
    const auto second = store->duplicateProfile(wide);
    const auto edited = store->addProfileWithName(wide->name); // numbered like a clash
    for (const auto& profile : {wide, first, second, edited}) {
        EXPECT_LE(profile->name.toUtf8().size() + 5 + 7, 255) << profile->name.toStdString();
    }
    EXPECT_TRUE(first->name.endsWith(" copy"));
    EXPECT_TRUE(second->name.endsWith(" copy 2"));
    EXPECT_TRUE(edited->name.endsWith(" 2"));

    const auto restarted = loadedStore();
    ASSERT_EQ(restarted->profiles().size(), 5);
    for (const auto& profile : {wide, first, second}) {
        EXPECT_EQ(readText(profileFile(profile->name)), "wide ferrow");
    }
}

TEST_F(ProfileStoreTest, SwappingTwoNamesLosesNeitherFile)
{
    const auto store = loadedStore();
    const auto home = store->addProfileWithName("Home");
    const auto work = store->addProfileWithName("Work");
    home->configText = "home text";
    work->configText = "work text";
    store->save();
    home->name = "Work";
    work->name = "Home";
    store->save();
    EXPECT_EQ(readText(profileFile("Work")), "home text");
    EXPECT_EQ(readText(profileFile("Home")), "work text");

    const auto reloaded = loadedStore();
    EXPECT_EQ(names(*reloaded), (QStringList{"Default", "Home", "Work"}));
}

TEST_F(ProfileStoreTest, DeletingTheActiveProfileActivatesTheFirstAndRewritesTheConfig)
{
    const auto store = loadedStore();
    store->activeProfile()->configText = "default text";
    const auto home = store->addProfileWithName("Home");
    home->configText = "home text";
    store->setActiveProfile(home);
    EXPECT_EQ(renderedConfig(), "home text");

    store->deleteProfile(home);
    EXPECT_EQ(names(*store), QStringList{"Default"});
    EXPECT_EQ(store->activeID(), "Default");
    EXPECT_EQ(renderedConfig(), "default text");
    EXPECT_FALSE(QFile::exists(profileFile("Home")));

    store->deleteProfile(store->activeProfile());
    EXPECT_EQ(names(*store), QStringList{"Default"});
    EXPECT_TRUE(QFile::exists(profileFile("Default")));
}

TEST_F(ProfileStoreTest, AddAndDuplicate)
{
    const auto store = loadedStore();
    const auto added = store->addProfileWithName("");
    EXPECT_EQ(added->name, "New Profile");
    EXPECT_EQ(added->configText, FRWProfileStore::templateConfig());

    const auto home = store->addProfileWithName("Home");
    home->configText = "home text";
    store->addProfileWithName("Last");
    const auto copy1 = store->duplicateProfile(home);
    const auto copy2 = store->duplicateProfile(home);
    EXPECT_EQ(copy1->name, "Home copy");
    EXPECT_EQ(copy2->name, "Home copy 2");
    EXPECT_EQ(copy2->configText, "home text");
    EXPECT_EQ(names(*store),
              (QStringList{"Default", "New Profile", "Home", "Home copy 2", "Home copy", "Last"}));
    EXPECT_EQ(readText(profileFile("Home copy 2")), "home text");
}

TEST_F(ProfileStoreTest, SetActiveProfileRewritesTheRenderedConfig)
{
    const auto store = loadedStore();
    const auto other = store->addProfileWithName("Other");
    other->configText = "other";
    store->setActiveProfile(other);
    EXPECT_EQ(renderedConfig(), "other");
    EXPECT_EQ(storedDefault("FRWActiveProfile").toString(), "Other");
    EXPECT_FALSE(store->isConfigured());
    EXPECT_EQ(loadedStore()->activeID(), "Other");
}

TEST_F(ProfileStoreTest, HandEditsOfTheRenderedConfigGoBackIntoTheirProfile)
{
    const auto store = loadedStore();
    writeBytes(paths.supportFolder + "/profile.conf", "[Rule]\nFINAL,DIRECT # by hand\n");
    store->save();
    EXPECT_EQ(store->activeProfile()->configText, "[Rule]\nFINAL,DIRECT # by hand\n");
    EXPECT_EQ(readText(profileFile("Default")), "[Rule]\nFINAL,DIRECT # by hand\n");

    // The next edit in the app builds on the hand edit; nothing is adopted twice.
    store->setRules({{{"type", "FINAL"}, {"policy", "REJECT"}}});
    EXPECT_EQ(renderedConfig(), "[Rule]\nFINAL,REJECT");
    EXPECT_EQ(names(*store), QStringList{"Default"});
}

TEST_F(ProfileStoreTest, HandEditsSurviveASwitchOfTheActiveProfile)
{
    const auto store = loadedStore();
    const auto defaultProfile = store->activeProfile();
    const auto other = store->addProfileWithName("Other");
    writeBytes(paths.supportFolder + "/profile.conf", "hand edited");
    store->setActiveProfile(other);
    EXPECT_EQ(defaultProfile->configText, "hand edited");
    EXPECT_EQ(readText(profileFile("Default")), "hand edited");
    EXPECT_EQ(renderedConfig(), other->configText);
}

TEST_F(ProfileStoreTest, ConcurrentEditsInAppAndFileAreBothKept)
{
    const auto store = loadedStore();
    writeBytes(paths.supportFolder + "/profile.conf", "file version");
    store->activeProfile()->configText = "app version";
    store->save();
    EXPECT_EQ(names(*store), (QStringList{"Default", "Default (edited)"}));
    EXPECT_EQ(store->activeProfile()->configText, "app version");
    EXPECT_EQ(readText(profileFile("Default (edited)")), "file version");
    EXPECT_EQ(renderedConfig(), "app version");
}

TEST_F(ProfileStoreTest, RenderedConfigWithoutARecordIsNotAdopted)
{
    writeBytes(profileFile("Mine"), "mine ferrow");
    writeBytes(paths.supportFolder + "/profile.conf", "unknown origin");
    const auto store = loadedStore();
    store->save();
    EXPECT_EQ(store->activeProfile()->configText, "mine ferrow");
    EXPECT_EQ(renderedConfig(), "mine ferrow");
}

TEST_F(ProfileStoreTest, CRLFProfileKeepsItsLineEndsAndGetsOneRuleSection)
{
    writeBytes(
        profileFile("Windows"),
        "[Proxy]\r\nHK = ferrow, h, 443, psk=k\r\n\r\n[Rule]\r\nFINAL,HK\r\n\r\n[General]\r\nx = 1\r\n");
    const auto store = loadedStore();
    ASSERT_EQ(store->editableNodes().size(), 1);
    auto rules = store->rules();
    rules.prepend({{"type", "DOMAIN"}, {"value", "a.com"}, {"policy", "DIRECT"}});
    store->setRules(rules);
    EXPECT_EQ(readText(profileFile("Windows")),
              "[Proxy]\r\nHK = ferrow, h, 443, psk=k\r\n\r\n[Rule]\r\nDOMAIN,a.com,DIRECT\r\nFINAL,HK\r\n"
              "[General]\r\nx = 1\r\n");
}

TEST_F(ProfileStoreTest, EditsOfProfileFilesArePickedUpByLoad)
{
    auto store = loadedStore();
    writeBytes(profileFile("Default"), "changed on disk");
    store->load();
    EXPECT_EQ(store->activeProfile()->configText, "changed on disk");
}

TEST_F(ProfileStoreTest, LegacyScriptsAreRemovedAtEveryLoad)
{
    writeBytes(paths.supportFolder + "/launch-core.sh", "#!/bin/sh");
    writeBytes(paths.supportFolder + "/privileged.sh", "#!/bin/sh");
    const auto store = loadedStore();
    EXPECT_FALSE(QFile::exists(paths.supportFolder + "/launch-core.sh"));
    EXPECT_FALSE(QFile::exists(paths.supportFolder + "/privileged.sh"));
}
