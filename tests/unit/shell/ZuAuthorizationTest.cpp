#include "shell/ZuAuthorization.h"
#include "support/NwConsoleCapture.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QProcess>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// Stands in for pkexec: keeps what it was given, runs the helper with that
// input as pkexec would after a granted check, or answers as a refusal does.
class AuthorizationTest : public testing::Test {
protected:
    void SetUp() override {
        launcher = nwTestDir() + "/fake-pkexec";
        QFile script(launcher);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "dir=$(dirname \"$0\")\n"
                     "echo \"$@\" > \"$dir/args\"\n"
                     "cat > \"$dir/stdin\"\n"
                     "status=$(cat \"$dir/status\" 2>/dev/null || echo run)\n"
                     "[ \"$status\" = crash ] && kill -SEGV $$\n"
                     "[ \"$status\" = short ] && { head -c 100 \"$dir/stdin\" | \"$@\"; exit; }\n"
                     "[ \"$status\" = run ] || exit \"$status\"\n"
                     "exec \"$@\" < \"$dir/stdin\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ZuAuthorizationSetup::setLauncher({launcher});
    }
    void TearDown() override { ZuAuthorizationSetup::setLauncher({"pkexec"}); }

    void answerWith(const QByteArray& status) {
        QFile file(nwTestDir() + "/status");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(status);
    }
    QByteArray sent() const {
        QFile file(nwTestDir() + "/stdin");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString launcher;
};

} // namespace

TEST_F(AuthorizationTest, AGrantedRightHandsTheCommandRecordToTheHelper) {
    NwConsoleCapture console;
    EXPECT_EQ(ZuAuthorization(), 0);
    EXPECT_TRUE(console.lines().contains("Passing child command."));
    const QByteArray record = sent();
    ASSERT_EQ(record.size(), 32 + 4 + 1024);
    int32_t code = 0;
    std::memcpy(&code, record.constData() + 32, sizeof code);
    EXPECT_EQ(code, 1);
    EXPECT_STREQ(record.constData() + 36, "/tmp");
    QFile args(nwTestDir() + "/args");
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_TRUE(args.readAll().trimmed().endsWith("/nightwarden-authtool"));
}

TEST_F(AuthorizationTest, OnlyTheHelpersYesGrantsAndEveryRefusalSaysWhy) {
    struct Case {
        QByteArray answer;
        const char* reason;
    };
    const Case cases[] = {
        {"126", "dismissed"},
        {"127", "not authorized"},
        {"1", "status 1"},
        {"crash", "ended by a signal"},
        // The helper saw only part of the record: it refuses, and so do we.
        {"short", "status 2"},
    };
    for (const Case& c : cases) {
        answerWith(c.answer);
        NwConsoleCapture console;
        EXPECT_EQ(ZuAuthorization(), -1) << c.answer.constData();
        const QStringList lines = console.lines();
        EXPECT_TRUE(lines.filter("the right is refused").size() == 1 &&
                    lines.filter(c.reason).size() == 1)
            << c.answer.constData() << ": " << lines.join(" / ").toStdString();
    }
}

TEST_F(AuthorizationTest, NoWayToAskMeansRefused) {
    ZuAuthorizationSetup::setLauncher({nwTestDir() + "/no-such-pkexec"});
    EXPECT_EQ(ZuAuthorization(), -1);
}

TEST_F(AuthorizationTest, TheHelperRejectsAMalformedRecord) {
    const QString tool = nwBinaryDir() + "/src/app/nightwarden-authtool";
    QProcess process;
    process.start(tool, {});
    ASSERT_TRUE(process.waitForStarted());
    process.write(QByteArray(40, 'x'));
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished());
    EXPECT_EQ(process.exitCode(), 2);
}
