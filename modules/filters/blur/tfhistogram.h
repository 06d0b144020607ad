#ifndef TFHISTOGRAM_H
#define TFHISTOGRAM_H

#include <tfilter.h>
#include <vector>

class TInport;

// "TFHistogram": counts the luminance levels of its input so that scripts can set tone
// filters from them. One port, "inY" (Y); no outputs.
//
// proc() counts the 16-bit levels of "inY" (again only when the image changed) and consumes
// the input; it returns an error text when "inY" shows no image. An empty image leaves no
// counts.
class TFHistogram : public TFilter {
    Q_OBJECT
public:
    TFHistogram(const QString &name, QObject *parent);

public slots:
    QString proc() override;
    // The lowest 16-bit level L with at least p % of the pixels at or below it (and at
    // least one pixel): 0 % gives the darkest pixel's level, 100 % the brightest's. p is
    // clamped to 0..100. -1 while there are no counts (before a run, after an empty image)
    // and for a p that is not a number.
    int percentile(float p) const;
    // Pixels counted by the last run.
    int pixelCount() const;

private:
    TInport *m_inY_p;
    std::vector<quint64> m_counts;
    quint64 m_total = 0;
};

#endif
