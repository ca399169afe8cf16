#pragma once

#include "preview/preview.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QPointer>

#include <memory>

class QBoxLayout;
class QPushButton;
class QThread;

namespace Ui { class PreviewDlg; }

// A converted font drawn from its output as LVGL will draw it, with a sample the user
// can edit. The output is read in a worker thread, so a large font never holds up the
// window; the sample is redrawn as it is typed.
class PreviewDlg : public QDialog
{
    Q_OBJECT
public:
    explicit PreviewDlg(QWidget *parent = nullptr);
    ~PreviewDlg() override;

    // Reads the font out of `source` (unless it is the one shown) and draws the sample.
    // `sample` replaces the sample unless the user has edited it; `lvVer` (the options'
    // LVGL generation) sets whether missing characters get placeholder boxes.
    void showResult(const qm::PreviewSource &source, const QString &sample, int lvVer);

    bool isReading() const { return m_reading; }
    const QImage &picture() const { return m_picture; }

    // The window's "预览效果" button: put into `row` before `model`, styled like it.
    static QPushButton *addButton(QBoxLayout *row, QPushButton *model);

signals:
    void pictureChanged();

private:
    void redraw();

    Ui::PreviewDlg *ui;
    qm::PreviewSource m_source;
    std::shared_ptr<qm::PreviewFont> m_font;
    QString m_error;
    bool m_reading = false;
    bool m_sampleEdited = false;
    int m_generation = 0;
    QList<QPointer<QThread>> m_workers;
    QImage m_picture;
};
