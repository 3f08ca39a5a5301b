#include "SoundPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QHash>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>
#include <limits>
#include <span>

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

namespace {

std::optional<qm::OutputFormat> outputFormatOf(const QAudioFormat& preferred) {
    qm::OutputFormat format{preferred.sampleRate(), preferred.channelCount(), qm::SampleType::Int16};
    switch (preferred.sampleFormat()) {
    case QAudioFormat::UInt8:
        format.type = qm::SampleType::UInt8;
        break;
    case QAudioFormat::Int16:
        format.type = qm::SampleType::Int16;
        break;
    case QAudioFormat::Int32:
        format.type = qm::SampleType::Int32;
        break;
    case QAudioFormat::Float:
        format.type = qm::SampleType::Float;
        break;
    default:
        return std::nullopt;
    }
    return format;
}

// Whether the device opens with `format`, asked by opening it.
bool opens(const QAudioDevice& device, const QAudioFormat& format) {
    QAudioSink sink(device, format);
    sink.start();
    const bool opened = sink.error() == QAudio::NoError;
    sink.stop();
    return opened;
}

// The format the device plays in: the one it prefers, else samples of 32-bit float at its preferred rate
// and channels. Windows' output plays its mix format only (anything else goes through a Media Foundation
// resampler, which Wine lacks), and under Wine it prefers 16-bit samples although it mixes in float.
// Asked once per device, by opening it.
QAudioFormat playableFormat(const QAudioDevice& device) {
    static QHash<QByteArray, QAudioFormat> known;
    if (const auto found = known.constFind(device.id()); found != known.cend())
        return *found;
    QAudioFormat format = device.preferredFormat();
    if (!opens(device, format)) {
        QAudioFormat floats = format;
        floats.setSampleFormat(QAudioFormat::Float);
        if (opens(device, floats))
            format = floats;
    }
    known.insert(device.id(), format);
    return format;
}

} // namespace

std::optional<qm::OutputFormat> SoundPlayer::outputFormat() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return std::nullopt;
    return outputFormatOf(playableFormat(device));
}

PreparedSound SoundPlayer::prepare(const qm::Pcm& pcm, const qm::OutputFormat& format) {
    const std::uint64_t capacity = qm::convertedCapacity(pcm, format);
    if (capacity == 0 || capacity > static_cast<std::uint64_t>(std::numeric_limits<qsizetype>::max()))
        throw qm::SoundError("the sound output takes no sound of this length");
    PreparedSound sound{format, QByteArray(static_cast<qsizetype>(capacity), Qt::Uninitialized)};
    const std::size_t written = qm::convertSound(
        pcm, format, std::as_writable_bytes(std::span(sound.samples.data(), sound.samples.size())));
    sound.samples.truncate(static_cast<qsizetype>(written));
    return sound;
}

std::optional<QString> SoundPlayer::play(PreparedSound sound) {
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return QStringLiteral("there is no sound output");
    const QAudioFormat format = playableFormat(device);
    if (outputFormatOf(format) != sound.format)
        return QStringLiteral("the sound output changed its format");
    m_lengthMs = format.durationForBytes(sound.samples.size()) / 1000;
    m_clock.start();
    m_source = std::make_unique<PcmDevice>(std::move(sound.samples));
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
    } else if (state == QAudio::IdleState && m_source->atEnd()) {
        // The sink has taken every sample; what its buffer holds still has to be heard. Windows' output
        // (under Wine at least) holds more than bufferSize() tells, so the sound's own length counts too: it
        // plays in real time from the start, and a little later for the output's latency.
        const qint64 buffered = m_sink->format().durationForBytes(m_sink->bufferSize()) / 1000;
        const qint64 left = m_lengthMs - m_clock.elapsed() + 100;
        m_draining.start(static_cast<int>(std::clamp<qint64>(std::max(buffered, left), 0, 5000)));
    }
}

void SoundPlayer::onDrained() {
    stop();
    emit finished(QString());
}
