#pragma once

#include "preview/preview.h"
#include "request/request.h"
#include "settings/settingsrecord.h"

#include <QFont>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QLabel;

namespace Ui { class MainWindow; }
class PreviewDlg;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Validates the options and prepares the character set and pixel depth; shows
    // the reason and returns false when no conversion may run.
    bool prepareConversion();

    const SettingsRecord &settings() const { return m_settings; }
    const QString &convText() const { return m_conv_text; }
    int bpp() const { return m_bpp; }
    int bppMask() const { return m_bpp_mask; }
    int fontHeight() const { return m_font_height; }
    const QString &aweText() const { return m_awe_text; }
    const QString &aweList() const { return m_awe_list; }
    const QFont &aweFont() const { return m_awe_font; }
    // The request a conversion of `kind` would run with the current options.
    qm::ConversionRequest buildRequest(qm::GeneratorKind kind) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The options are kept when the window closes, as after a conversion.
    void closeEvent(QCloseEvent *event) override;

    // Everything that asks the user something goes through these, so that tests can
    // answer without a modal dialog.
    // Refusals the user can fix keep the information icon; failures use the warning or
    // critical one.
    virtual void showMessage(const QString &title, const QString &text,
                             QMessageBox::Icon icon = QMessageBox::Information);
    virtual QString askSaveFileName(const QString &suggestedPath);
    virtual QString askOutputFolder(const QString &startFolder);
    virtual QString askImportFileName(const QString &startFolder);
    virtual QFont askFont(const QFont &initial);
    // A cancelled run would replace `files` (which exist) with a result holding only
    // the first `written` characters: true to replace them, false to keep them.
    virtual bool askReplaceWithPartial(const QStringList &files, int written);

private slots:
    void on_btn_font_clicked();
    void on_btn_convert_clicked();
    void on_btn_clrText_clicked();
    void on_btn_delAscii_clicked();
    void on_btn_delRepeat_clicked();
    void on_btn_copy_clicked();
    void on_btn_comHz_clicked();
    void on_btn_save_clicked();
    void on_btn_allHz_clicked();
    void on_action_about_triggered();
    void on_action_note_triggered();
    void on_action_save_triggered();
    void on_btn_input_txt_clicked();
    void on_btn_awesome_clicked();
    void on_action_appreciation_triggered();
    void on_btn_clrAwe_clicked();

private:
    void applySettingsToControls();
    void loadIconFont();
    void copyControlsToSettings();
    // Writes config.ini; tells the user when that fails (once until it works again).
    void saveSettings();
    void runGenerator(qm::GeneratorKind kind);
    bool askDirectToFileTarget();
    // True when the text went to m_save_file.
    bool deliverText(const QString &text, bool toFile);
    void appendToInput(const QString &text);
    void updateRenderLabelFont();
    void fitToScreen();
    QString suggestedSavePath() const;
    QString startFolder() const;
    void showFontInfo();
    void showChosenIcons();
    // The status line beside 转换结果. `folder`, when given, follows the text and is
    // what gets shortened when the line is too narrow.
    void setStatus(const QString &text, const QString &folder = QString());
    void showStatus();
    void setUpKeyboard();
    // Lays the hanzi out in the input pane's font a slice at a time while the window is
    // idle, so that the first 加入所有汉字 finds their advances in the font's cache.
    void warmInputFont();
    void warmNextSlice();
    // LVGL 5.3's font ignores some options: they are disabled while it is chosen.
    void showLegacyOptions();
    static void showElided(QLabel *label, const QString &text, Qt::TextElideMode mode);
    void showPreview();

    Ui::MainWindow *ui;
    SettingsRecord m_settings;

    QFont m_awe_font;
    QString m_awe_list;
    QString m_awe_text;

    QString m_conv_text;
    quint8 m_bpp = 4;
    quint8 m_bpp_mask = 15;
    int m_font_height = 0;
    quint8 m_lv_ver = 1;
    QString m_save_file;
    bool m_settingsSaveFailed = false;

    QString m_status_text;
    QString m_status_folder;
    // The render label's black box appears with the first conversion.
    QString m_render_label_style;
    QString m_warm_text;
    int m_warm_done = 0;
    QFont m_warm_font;
    bool m_warm_queued = false;
    bool m_converting = false;
    // Where the last result is, for the preview.
    qm::PreviewSource m_preview_source;
    QString m_preview_sample;
    PreviewDlg *m_preview_dlg = nullptr;
};
