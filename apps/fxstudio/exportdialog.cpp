#include "exportdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {
// The profiles the engine carries, by the names fxhost's --icc-out takes; the last entry asks
// for a file.
const char *const namedProfiles[] = { "sRGB", "AdobeRGB", "ProPhoto" };
}

ExportDialog::ExportDialog(const QString &suggestedPath, QWidget *parent)
    : QDialog(parent)
    , m_path(new QLineEdit(suggestedPath, this))
    , m_depth(new QComboBox(this))
    , m_profile(new QComboBox(this))
{
    setWindowTitle(tr("Export"));
    m_path->setObjectName(QStringLiteral("export/path"));
    m_depth->setObjectName(QStringLiteral("export/depth"));
    m_profile->setObjectName(QStringLiteral("export/profile"));
    auto *browse = new QPushButton(tr("Browse…"), this);
    connect(browse, &QPushButton::clicked, this, &ExportDialog::browse);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path);
    pathRow->addWidget(browse);
    m_depth->addItem(tr("8 bits per channel"), 8);
    m_depth->addItem(tr("16 bits per channel (PNG, TIFF)"), 16);
    for (const char *name : namedProfiles)
        m_profile->addItem(QLatin1String(name), QLatin1String(name));
    m_profile->addItem(tr("ICC file…"));
    connect(m_profile, QOverload<int>::of(&QComboBox::activated), this, &ExportDialog::chooseProfile);

    auto *form = new QFormLayout(this);
    form->addRow(tr("File"), pathRow);
    form->addRow(tr("Depth"), m_depth);
    form->addRow(tr("Profile"), m_profile);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Export"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QString ExportDialog::path() const { return m_path->text().trimmed(); }

int ExportDialog::depth() const { return m_depth->currentData().toInt(); }

QString ExportDialog::profileRequest() const
{
    const QVariant named = m_profile->currentData();
    return named.isValid() ? named.toString() : m_profileFile;
}

void ExportDialog::browse()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export to"), m_path->text(), tr("Pictures (*.png *.jpg *.jpeg *.tif *.tiff *.webp)"));
    if (!path.isEmpty())
        m_path->setText(path);
}

void ExportDialog::chooseProfile(int index)
{
    if (m_profile->itemData(index).isValid())
        return;
    const QString file
        = QFileDialog::getOpenFileName(this, tr("Output profile"), QString(), tr("ICC profiles (*.icc *.icm)"));
    if (file.isEmpty()) {
        m_profile->setCurrentIndex(0);
        return;
    }
    m_profileFile = file;
    m_profile->setItemText(index, QFileInfo(file).fileName());
}
