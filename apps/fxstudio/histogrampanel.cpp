#include "histogrampanel.h"

#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <fxanalysis.h>
#include <string>
#include <tpimage.h>

namespace {
// Paints the panel's chart stretched over its area; a black area before there is a chart.
class ChartArea : public QWidget {
public:
    explicit ChartArea(const QImage *chart)
        : m_chart(chart)
    {
        setMinimumSize(64, 48);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override { return HistogramPanel::defaultChartSize(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (m_chart->isNull()) {
            painter.fillRect(rect(), Qt::black);
            return;
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), *m_chart);
    }

private:
    const QImage *m_chart;
};

QLabel *themeLabel(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
}

HistogramPanel::HistogramPanel(QWidget *parent)
    : QWidget(parent)
    , m_chartArea(new ChartArea(&m_chart))
    , m_palette(themeLabel(QStringLiteral("palette")))
    , m_tone(themeLabel(QStringLiteral("tone")))
    , m_colours(themeLabel(QStringLiteral("colours")))
{
    m_chartArea->setObjectName(QStringLiteral("chart"));
    auto *theme = new QFormLayout;
    theme->addRow(tr("Palette"), m_palette);
    theme->addRow(tr("Tone"), m_tone);
    theme->addRow(tr("Colours"), m_colours);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_chartArea, 1);
    layout->addLayout(theme);
}

void HistogramPanel::showImage(TPImage &image)
{
    // Before the first layout the area has no size of its own yet.
    const QSize size
        = m_chartArea->testAttribute(Qt::WA_Resized) || isVisible() ? m_chartArea->size() : defaultChartSize();
    m_chart = getHistogram(image, size.width(), size.height());
    std::string palette, tone, colours;
    getColorTheme(image, palette, tone, colours);
    m_palette->setText(QString::fromStdString(palette));
    m_tone->setText(QString::fromStdString(tone));
    m_colours->setText(QString::fromStdString(colours));
    m_chartArea->update();
}

void HistogramPanel::clear()
{
    m_chart = QImage();
    m_palette->clear();
    m_tone->clear();
    m_colours->clear();
    m_chartArea->update();
}

QString HistogramPanel::paletteText() const { return m_palette->text(); }
QString HistogramPanel::toneText() const { return m_tone->text(); }
QString HistogramPanel::coloursText() const { return m_colours->text(); }
