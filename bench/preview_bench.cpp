// Times the preview of a converted font: reading the output back (file read and
// decoding), drawing a sample, and colouring it at 4x. With --in-memory the C text is
// read before the clock starts, as the window holds it after a run into its pane.
// Run on demand:
//   quillmark-preview-bench FONT.c [FONT.bin] [--runs N] [--sample TEXT] [--in-memory]
#include "preview/preview.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int runs = 5;
    QString sample;
    bool inMemory = false;
    qm::PreviewSource source;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = qMax(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--sample") && i + 1 < args.size())
            sample = args.at(++i);
        else if (args.at(i) == QLatin1String("--in-memory"))
            inMemory = true;
        else if (args.at(i).endsWith(QLatin1String(".bin")))
            source.binPath = args.at(i);
        else
            source.cPath = args.at(i);
    }
    if (source.cPath.isEmpty()) {
        std::fprintf(stderr, "usage: quillmark-preview-bench FONT.c [FONT.bin] [--runs N] [--sample TEXT] "
                             "[--in-memory]\n");
        return 2;
    }
    if (inMemory) {
        QFile file(source.cPath);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        source.text = QString::fromUtf8(file.readAll());
    }

    std::vector<double> load, draw;
    QString description;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        const std::unique_ptr<qm::PreviewFont> font = qm::loadPreviewFont(source, &error);
        load.push_back(timer.nsecsElapsed() / 1e9);
        if (!font) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        description = font->description();
        timer.restart();
        const qm::PreviewDrawing drawing =
            qm::drawPreview(*font, sample.isEmpty() ? QStringLiteral("啊阿埃挨哎唉哀皑癌蔼矮艾碍爱隘鞍") : sample, true);
        qm::PreviewStyle style;
        style.scale = 4;
        const QImage picture = qm::stylePreview(drawing, style);
        draw.push_back(timer.nsecsElapsed() / 1e9);
        if (picture.isNull())
            return 1;
    }
    std::printf("%s: %s %.3f s, draw and colour at 4x %.4f s (medians of %d)\n",
                qPrintable(description), inMemory ? "decode" : "read and decode", median(load), median(draw), runs);
    return 0;
}
