#include "SoundPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>

PcmDevice::PcmDevice(QByteArray samples, QObject* parent)
    : QIODevice(parent), m_samples(std::move(samples)) {}

qint64 PcmDevice::readData(char* data, qint64 maxSize) {
    const qint64 count = std::min(maxSize, m_samples.size() - m_at);
    if (count <= 0)
        return 0;
    std::memcpy(data, m_samples.constData() + m_at, static_cast<std::size_t>(count));
    if (m_at == 0)
        emit firstRead();
    m_at += count;
    return count;
}

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {
    m_draining.setSingleShot(true);
    connect(&m_draining, &QTimer::timeout, this, &SoundPlayer::onDrained);
}

SoundPlayer::~SoundPlayer() {
    stop();
}

bool SoundPlayer::hasOutput() {
    return !QMediaDevices::defaultAudioOutput().isNull();
}

std::optional<QString> SoundPlayer::play(const qm::Pcm& pcm) {
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return QStringLiteral("there is no sound output");
    QAudioFormat format;
    format.setSampleRate(pcm.rate);
    format.setChannelCount(pcm.channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return QStringLiteral("the sound output does not take %1 channels at %2 Hz")
            .arg(pcm.channels)
            .arg(pcm.rate);
    QByteArray bytes(reinterpret_cast<const char*>(pcm.samples.data()),
                     static_cast<qsizetype>(pcm.samples.size() * sizeof(std::int16_t)));
    m_source = std::make_unique<PcmDevice>(std::move(bytes));
    m_source->open(QIODevice::ReadOnly);
    connect(m_source.get(), &PcmDevice::firstRead, this, &SoundPlayer::started);
    m_sink = std::make_unique<QAudioSink>(device, format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &SoundPlayer::onStateChanged);
    m_sink->start(m_source.get());
    if (m_sink->error() != QAudio::NoError) {
        stop();
        return QStringLiteral("the sound output refused the sound");
    }
    return std::nullopt;
}

void SoundPlayer::stop() {
    m_draining.stop();
    if (m_sink) {
        disconnect(m_sink.get(), nullptr, this, nullptr);
        m_sink->stop();
    }
    m_sink.reset();
    m_source.reset();
}

void SoundPlayer::onStateChanged() {
    if (!m_sink || m_draining.isActive())
        return;
    const QAudio::State state = m_sink->state();
    const QAudio::Error error = m_sink->error();
    if (state == QAudio::StoppedState && error != QAudio::NoError) {
        // The output went away; this runs inside the sink's own signal, so it goes later.
        disconnect(m_sink.get(), nullptr, this, nullptr);
        m_sink.release()->deleteLater();
        m_source.release()->deleteLater();
        emit finished(QStringLiteral("the sound output failed"));
    } else if (state == QAudio::IdleState) {
        // The sink has taken every sample; what its buffer holds still has to be heard.
        const qint64 buffered = m_sink->format().durationForBytes(m_sink->bufferSize()) / 1000;
        m_draining.start(static_cast<int>(std::clamp<qint64>(buffered, 0, 2000)));
    }
}

void SoundPlayer::onDrained() {
    stop();
    emit finished(QString());
}
