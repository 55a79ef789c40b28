// "--chunktest": the chunker fed from a WAV file as if it were being spoken.
#include "diagnostics/CommandLine.h"
#include "dictation/Chunker.h"

#include <QElapsedTimer>
#include <QtEndian>

namespace Diagnostics {

QCoro::Task<> chunkTest(QStringList values, Program program)
{
    const QByteArray data = readFile(values.value(0));
    if (data.size() < 44)
        throw std::runtime_error("fichier WAV trop court");
    // The samples after the 44-byte header; an odd last byte is not a sample.
    const QByteArray pcm = data.mid(44, (data.size() - 44) & ~qsizetype(1));
    const qsizetype samples = pcm.size() / 2;
    const auto *bytes = reinterpret_cast<const uchar *>(pcm.constData());

    const DictationData dictation{program.settings, program.store, program.keys};
    Chunker chunker{QString(), Chunker::work(dictation)};
    const Chunker::Slice slice = [&pcm](qsizetype from, qsizetype to) {
        return pcm.mid(from, std::max<qsizetype>(0, std::min(to, pcm.size()) - from));
    };
    // Blocks of 1024 samples; 0.6 s of quiet after speech is a pause.
    qsizetype silence = 0;
    bool speechSeen = false;
    for (qsizetype start = 0; start < samples; start += 1024) {
        const qsizetype end = std::min(samples, start + 1024);
        int peak = 0;
        for (qsizetype i = start; i < end; ++i)
            peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(bytes + 2 * i))));
        if (peak > 900) {
            silence = 0;
            speechSeen = true;
            continue;
        }
        silence += end - start;
        if (speechSeen && double(silence) / 16000.0 >= 0.6) {
            chunker.cut(end * 2, slice);
            speechSeen = false;
        }
    }
    co_await chunker.settle();

    QElapsedTimer clock;
    clock.start();
    const Chunker::Result result = co_await chunker.finish(pcm);
    print(QStringLiteral("morceaux: ") + QString::number(chunker.taskCount()) + QStringLiteral(", attente après la fin: ")
          + QString::number(double(clock.nsecsElapsed()) / 1e9, 'f', 2) + QStringLiteral(" s"));
    print(result ? QStringLiteral("texte: ") + result->clean : QStringLiteral("texte: échec"));
}

} // namespace Diagnostics
