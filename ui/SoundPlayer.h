#pragma once

#include "Sound.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class QAudioSink;

// Decoded samples as the audio sink pulls them; notes the first read, when samples reach the device.
class PcmDevice : public QIODevice {
    Q_OBJECT
public:
    explicit PcmDevice(QByteArray samples, QObject* parent = nullptr);
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_samples.size() - m_at + QIODevice::bytesAvailable(); }
    bool atEnd() const override { return m_at >= m_samples.size(); }

signals:
    void firstRead();

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_samples;
    qint64 m_at = 0;
};

// A sound in the output's own format, ready for the sink.
struct PreparedSound {
    qm::OutputFormat format;
    QByteArray samples;
};

// Plays one sound at a time through the default audio output, without blocking: the sink pulls the
// samples from the event loop. Every sound is handed over in a format the output plays as it is (the one
// it prefers, or float samples where that one does not open), converted by the decoder module: an output
// asked for another format converts it itself, or refuses (Windows' audio under Wine ends in an open error).
class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);
    ~SoundPlayer() override;

    // Whether the system has an audio output at all.
    static bool hasOutput();
    // The format the default output plays; empty when there is no output, or it asks for a sample format
    // this program does not write. Asked on the window's thread; the first time for a device opens it.
    static std::optional<qm::OutputFormat> outputFormat();
    // The samples converted for `format`: safe off the window's thread; throws qm::SoundError.
    static PreparedSound prepare(const qm::Pcm& pcm, const qm::OutputFormat& format);
    // Stops what plays and starts the sound on the default output; gives the reason when it cannot.
    std::optional<QString> play(PreparedSound sound);
    // Ends playing at once; no finished() follows.
    void stop();
    bool playing() const { return m_sink != nullptr; }

signals:
    // The sound played to its end, or the output failed (with the reason).
    void finished(const QString& failure);
    // The device took the first samples.
    void started();

private:
    void onStateChanged();
    void onDrained();

    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<PcmDevice> m_source;
    QTimer m_draining;
    QElapsedTimer m_clock; // since play()
    qint64 m_lengthMs = 0;
};
