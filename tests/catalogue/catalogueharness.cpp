#include "catalogueharness.h"

#include "testdata.h"

#include <QDir>
#include <QImageReader>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <tfx.h>
#include <tparam.h>
#include <tpimage.h>

CatalogueHarness::CatalogueHarness()
    : m_stack(std::make_unique<TfxStack>(QStringLiteral("stack"), nullptr))
{
    m_stack->setInImage(&m_source.image());
    // Masks are drawn on the shared source picture.
    m_stack->setCommonData(&m_source);
}

CatalogueHarness::~CatalogueHarness() = default;

bool CatalogueHarness::load(const QImage &picture)
{
    if (picture.isNull())
        return false;
    m_source.setup(picture, &m_cms);
    m_source.image().updateUid(TIm::CImFull);
    return true;
}

TFx *CatalogueHarness::add(const QString &key) { return m_stack->addTFx(key, QString(), m_stack->numTFxs()); }

bool CatalogueHarness::set(TFx *fx, const QString &paramKey, const QVariant &value)
{
    TParam *param = fx ? fx->paramPtr(paramKey) : nullptr;
    if (!param)
        return false;
    if (value.type() == QVariant::Double)
        return QMetaObject::invokeMethod(param, "setValue", Q_ARG(float, float(value.toDouble())));
    if (value.type() == QVariant::Int)
        return QMetaObject::invokeMethod(param, "setValue", Q_ARG(int, value.toInt()));
    if (value.type() == QVariant::Bool)
        return QMetaObject::invokeMethod(param, "setValue", Q_ARG(bool, value.toBool()));
    if (value.canConvert<QList<QPointF>>())
        return QMetaObject::invokeMethod(param, "setValue", Q_ARG(QList<QPointF>, value.value<QList<QPointF>>()));
    return false;
}

void CatalogueHarness::setView(TIm::CImId cid, const TRoi &roi) { m_source.image().updateCIms(cid, roi); }

bool CatalogueHarness::run(const QSet<TIm::CImId> &cids) { return m_stack->procOutput(cids); }

QImage CatalogueHarness::toPicture(const TPImage &level)
{
    QImage picture;
    m_cms.convert(level, picture);
    return picture.convertToFormat(QImage::Format_ARGB32);
}

QImage CatalogueHarness::result(TIm::CImId cid)
{
    const TIm *out = m_stack->numTFxs() ? m_stack->outImagePtr() : &m_source.image();
    return toPicture(*out->ptr(cid));
}

QImage CatalogueHarness::source(TIm::CImId cid) { return toPicture(*m_source.image().ptr(cid)); }

QImage CatalogueHarness::exportedView(const TRoi &roi)
{
    const TIm *out = m_stack->numTFxs() ? m_stack->outImagePtr() : &m_source.image();
    TIm exported;
    *exported.ptr(TIm::CImFull) = *out->ptr(TIm::CImFull);
    exported.updateCIms(TIm::CImView1, roi);
    return toPicture(*exported.ptr(TIm::CImView1));
}

EffectRun::EffectRun(const QImage &picture, const QString &key, const Settings &settings)
{
    if (!host.load(picture) || !(fx = host.add(key)))
        return;
    for (const auto &setting : settings)
        if (!CatalogueHarness::set(fx, setting.first, setting.second))
            return;
    ok = host.run({ TIm::CImFull });
}

const TPImage &EffectRun::in(TIm::CImId cid) { return *host.image().ptr(cid); }
const TPImage &EffectRun::out(TIm::CImId cid) { return *host.stack().outImagePtr()->ptr(cid); }

QImage makePicture(int width, int height, const std::function<QRgb(int, int)> &pixel)
{
    QImage picture(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, pixel(x, y));
    return picture;
}

double maxDiff(const cv::Mat &a, const cv::Mat &b) { return cv::norm(a, b, cv::NORM_INF); }

double offNeutral(const cv::Mat &plane)
{
    cv::Mat centred;
    plane.convertTo(centred, CV_32S, 1, -32768);
    return cv::norm(centred, cv::NORM_INF);
}

double levelDiff(const TPImage &a, const TPImage &b)
{
    return std::max({ maxDiff(a.m_lum, b.m_lum), maxDiff(a.m_c1, b.m_c1), maxDiff(a.m_c2, b.m_c2) });
}

double psnr(const QImage &a, const QImage &b)
{
    if (a.isNull() || a.size() != b.size())
        return -1.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0.0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = qRed(p[col]) - qRed(q[col]), dg = qGreen(p[col]) - qGreen(q[col]),
                      db = qBlue(p[col]) - qBlue(q[col]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * x.width() * x.height());
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

QList<QPair<QString, QImage>> sharedPhotos()
{
    QList<QPair<QString, QImage>> photos;
    const QDir dir(QStringLiteral(FX_SHARED_DATA_DIR "/photos"));
    for (const QString &name :
        dir.entryList({ "*.png", "*.jpg", "*.jpeg", "*.tif", "*.tiff" }, QDir::Files, QDir::Name)) {
        QImageReader reader(dir.filePath(name));
        reader.setAutoTransform(true);
        const QImage picture = reader.read();
        if (!picture.isNull())
            photos.append({ name, picture.convertToFormat(QImage::Format_ARGB32) });
    }
    return photos;
}

QImage sharedPhoto(const QString &name)
{
    for (const auto &entry : sharedPhotos())
        if (entry.first == name)
            return entry.second;
    return QImage();
}

double CatalogueHarness::viewsAgainstExport(const QList<TRoi> &views, QStringList &figures)
{
    QSet<TIm::CImId> levels { TIm::CImFull };
    for (int i = 0; i < views.size() && i < TIm::numLevels - 1; ++i) {
        setView(TIm::CImId(TIm::CImView1 + i), views[i]);
        levels.insert(TIm::CImId(TIm::CImView1 + i));
    }
    if (!run(levels))
        return -1.0;
    double worst = 99.0;
    for (int i = 0; i < views.size() && i < TIm::numLevels - 1; ++i) {
        const QImage view = result(TIm::CImId(TIm::CImView1 + i)), exported = exportedView(views[i]);
        const double db = view.size() == exported.size() ? psnr(view, exported) : -1.0;
        worst = std::min(worst, db);
        figures.append(QStringLiteral("dec %1: %2 dB").arg(views[i].dec()).arg(db, 0, 'f', 1));
    }
    return worst;
}
