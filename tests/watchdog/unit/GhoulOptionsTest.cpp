#include "app/GhoulOptions.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

int parse(const QStringList& arguments, GhoulOptions* options, QString* message) {
    return options->parse(QStringList{"zughoulizer"} + arguments, message);
}

TEST(GhoulOptions, RelaunchDelaysMustFitTheTimer) {
    GhoulOptions options;
    QString message;
    ASSERT_EQ(parse({"--relaunch-delays", "1000,2147483647,60000"}, &options, &message), -1);
    EXPECT_EQ(options.delays.maximumMs, std::numeric_limits<int>::max());

    for (const char* text : {"1000,2147483648,60000", "3000000000,1,1", "1,1,9999999999999"}) {
        GhoulOptions refused;
        EXPECT_EQ(parse({"--relaunch-delays", text}, &refused, &message), 2) << text;
        EXPECT_TRUE(message.contains("too long")) << message.toStdString();
    }
    for (const char* text : {"1000,60000", "0,1,1", "a,b,c", "1,-5,1"}) {
        GhoulOptions refused;
        EXPECT_EQ(parse({"--relaunch-delays", text}, &refused, &message), 2) << text;
        EXPECT_TRUE(message.contains("three positive numbers")) << message.toStdString();
    }
}

TEST(GhoulOptions, MistakesEndWithStatusTwoAndHelpWithZero) {
    GhoulOptions options;
    QString message;
    EXPECT_EQ(parse({"--frobnicate"}, &options, &message), 2);
    EXPECT_EQ(parse({"stray"}, &options, &message), 2);
    EXPECT_EQ(message, "unexpected argument stray");
    EXPECT_EQ(parse({"--help"}, &options, &message), 0);
    EXPECT_TRUE(message.contains("--relaunch-delays"));

    ASSERT_EQ(parse({"--settings", "/tmp/z.conf", "--add", "a.desktop", "--add", "b.desktop",
                     "--remove", "c", "--list"},
                    &options, &message),
              -1);
    EXPECT_EQ(options.settingsFile, "/tmp/z.conf");
    EXPECT_EQ(options.add, (QStringList{"a.desktop", "b.desktop"}));
    EXPECT_EQ(options.remove, QStringList{"c"});
    EXPECT_TRUE(options.list);
}

} // namespace
