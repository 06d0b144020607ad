#ifndef EXPORTDIALOG_H
#define EXPORTDIALOG_H

#include <QDialog>

class QComboBox;
class QLineEdit;

// Where and how to export: the file, 8 or 16 bits per channel, and the output profile (the
// engine's sRGB, Adobe RGB or ProPhoto, or an ICC file), as fxhost's --depth and --icc-out take
// them.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExportDialog(const QString &suggestedPath, QWidget *parent = nullptr);

    QString path() const;
    int depth() const;
    // "sRGB", "AdobeRGB", "ProPhoto" or an ICC file's path.
    QString profileRequest() const;

private:
    void browse();
    void chooseProfile(int index);

    QLineEdit *m_path;
    QComboBox *m_depth;
    QComboBox *m_profile;
    QString m_profileFile;
};

#endif
