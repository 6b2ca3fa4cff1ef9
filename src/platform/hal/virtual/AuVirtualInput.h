#pragma once

#include <QString>
#include <optional>

// What a virtual device's input carries, as given on the command line:
// "silence", "tone:HZ:AMP", "bursts:ON_S:OFF_S:AMP" or "file:PATH".
struct AuVirtualInput {
    enum class Kind { Silence, Tone, Bursts, File };

    Kind kind = Kind::Silence;
    double frequency = 0.0;  // tone, Hz
    double amplitude = 0.0;  // tone and bursts, linear 0..1
    double onSeconds = 0.0;  // bursts: noise this long...
    double offSeconds = 0.0; // ...then silence this long
    QString path;            // file
    bool loop = true;        // file: start again at its end, or stay silent after it

    // The input, or nothing with the reason in error.
    static std::optional<AuVirtualInput> parse(const QString& text, QString* error = nullptr);
    QString text() const;
};
