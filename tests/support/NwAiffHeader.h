#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <gtest/gtest.h>

// The three size fields of a recording's header against the file's own size:
// the form, the frame count and the sound chunk.
inline void nwExpectHeaderMatchesSize(const QString& path, int channels) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray head = file.read(4096);
    ASSERT_EQ(head.size(), 4096);
    const auto big32 = [&head](int offset) {
        const auto* p = reinterpret_cast<const unsigned char*>(head.constData() + offset);
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    };
    const qint64 size = file.size();
    EXPECT_EQ(big32(4), uint32_t(size - 8)) << "FORM size of a file of " << size << " bytes";
    EXPECT_EQ(big32(22), uint32_t((size - 4096) / 2 / channels));
    EXPECT_EQ(big32(4084), uint32_t(size - 4088));
}
