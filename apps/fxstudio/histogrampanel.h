#ifndef HISTOGRAMPANEL_H
#define HISTOGRAMPANEL_H

#include <QImage>
#include <QWidget>

class QLabel;
class TPImage;

// The histogram chart of a picture and its colour theme (palette, tone, colour character),
// as the engine's analysis computes them. The chart is computed for the size of its area at
// the time of showImage and scaled when the panel is resized; the picture is not kept.
//
// Widgets by objectName: the chart "chart", the theme texts QLabel "palette", "tone" and
// "colours".
class HistogramPanel : public QWidget {
    Q_OBJECT
public:
    explicit HistogramPanel(QWidget *parent = nullptr);

    // Computes and shows the chart and theme of image (which the analysis does not change,
    // but asks for writable).
    void showImage(TPImage &image);
    // Empties the chart and the texts.
    void clear();

    // The chart as last computed; null after clear().
    QImage chart() const { return m_chart; }
    QString paletteText() const;
    QString toneText() const;
    QString coloursText() const;

    // The chart's size when the panel has not been laid out yet.
    static QSize defaultChartSize() { return QSize(256, 120); }

private:
    QWidget *m_chartArea;
    QLabel *m_palette;
    QLabel *m_tone;
    QLabel *m_colours;
    QImage m_chart;
};

#endif
