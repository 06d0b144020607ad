// The colour theme of a histogram: dominant colours, tone and colour character, all taken
// from the joint histogram's cells (and the luminance bins for the tone), so that a
// histogram read back from text describes the picture exactly as the original did.

#include "displaycolour.h"
#include "mhist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using DisplayColour::Vec3;

constexpr int paletteSize = 5;
// Clusters closer than this (CIE76 delta E) are one colour to the eye in a palette.
constexpr double mergeDistance = 8.0;
// Colours covering less of the picture are not dominant.
constexpr double minimumShare = 0.015;
constexpr int maxIterations = 50;

struct Point {
    Vec3 lab;
    Vec3 srgb;
    double weight;
};

struct Cluster {
    Vec3 lab {};
    Vec3 srgb {};
    double weight = 0;
};

double distance2(const Vec3 &a, const Vec3 &b)
{
    const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

int nearest(const Vec3 &lab, const std::vector<Cluster> &clusters)
{
    int best = 0;
    double bestDistance = distance2(lab, clusters[0].lab);
    for (int i = 1; i < int(clusters.size()); ++i) {
        const double d = distance2(lab, clusters[std::size_t(i)].lab);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

// Deterministic k-means++ seeding: the heaviest point first, then each time the point that
// would add most to the weighted squared error.
std::vector<Cluster> seeds(const std::vector<Point> &points)
{
    std::vector<Cluster> clusters;
    std::size_t first = 0;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i].weight > points[first].weight)
            first = i;
    }
    clusters.push_back({ points[first].lab, {}, 0 });
    while (int(clusters.size()) < paletteSize) {
        double bestScore = 0;
        std::size_t best = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double score = points[i].weight
                * distance2(points[i].lab, clusters[std::size_t(nearest(points[i].lab, clusters))].lab);
            if (score > bestScore) {
                bestScore = score;
                best = i;
            }
        }
        if (bestScore <= 0)
            break;
        clusters.push_back({ points[best].lab, {}, 0 });
    }
    return clusters;
}

// Weighted Lloyd iterations until the assignment settles. Every point belongs to one
// cluster at the end; clusters left without points are dropped.
std::vector<Cluster> kMeans(const std::vector<Point> &points)
{
    std::vector<Cluster> clusters = seeds(points);
    std::vector<int> assignment(points.size(), -1);
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
        bool changed = false;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const int n = nearest(points[i].lab, clusters);
            changed |= n != assignment[i];
            assignment[i] = n;
        }
        std::vector<Cluster> sums(clusters.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            Cluster &c = sums[std::size_t(assignment[i])];
            for (int k = 0; k < 3; ++k) {
                c.lab[k] += points[i].weight * points[i].lab[k];
                c.srgb[k] += points[i].weight * points[i].srgb[k];
            }
            c.weight += points[i].weight;
        }
        for (std::size_t j = 0; j < clusters.size(); ++j) {
            // A cluster that lost all its points keeps its centre and weighs nothing.
            clusters[j].weight = sums[j].weight;
            if (sums[j].weight <= 0)
                continue;
            for (int k = 0; k < 3; ++k) {
                clusters[j].lab[k] = sums[j].lab[k] / sums[j].weight;
                clusters[j].srgb[k] = sums[j].srgb[k] / sums[j].weight;
            }
        }
        if (!changed)
            break;
    }
    clusters.erase(std::remove_if(clusters.begin(), clusters.end(), [](const Cluster &c) { return c.weight <= 0; }),
        clusters.end());
    return clusters;
}

// Joins the closest pair of clusters while they look alike.
void mergeAlike(std::vector<Cluster> &clusters)
{
    while (clusters.size() > 1) {
        std::size_t a = 0, b = 1;
        for (std::size_t i = 0; i < clusters.size(); ++i) {
            for (std::size_t j = i + 1; j < clusters.size(); ++j) {
                if (distance2(clusters[i].lab, clusters[j].lab) < distance2(clusters[a].lab, clusters[b].lab)) {
                    a = i;
                    b = j;
                }
            }
        }
        if (distance2(clusters[a].lab, clusters[b].lab) >= mergeDistance * mergeDistance)
            return;
        const double w = clusters[a].weight + clusters[b].weight;
        for (int k = 0; k < 3; ++k) {
            clusters[a].lab[k]
                = (clusters[a].lab[k] * clusters[a].weight + clusters[b].lab[k] * clusters[b].weight) / w;
            clusters[a].srgb[k]
                = (clusters[a].srgb[k] * clusters[a].weight + clusters[b].srgb[k] * clusters[b].weight) / w;
        }
        clusters[a].weight = w;
        clusters.erase(clusters.begin() + std::ptrdiff_t(b));
    }
}

std::string describePalette(const std::vector<Point> &points, double total)
{
    std::vector<Cluster> clusters = kMeans(points);
    mergeAlike(clusters);
    std::stable_sort(
        clusters.begin(), clusters.end(), [](const Cluster &a, const Cluster &b) { return a.weight > b.weight; });
    std::string text;
    for (const Cluster &c : clusters) {
        if (c.weight < minimumShare * total)
            break;
        char entry[32];
        auto to8 = [](double v) { return int(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
        std::snprintf(entry, sizeof(entry), "%s#%02x%02x%02x %d%%", text.empty() ? "" : ", ", to8(c.srgb[0]),
            to8(c.srgb[1]), to8(c.srgb[2]), int(std::lround(100.0 * c.weight / total)));
        text += entry;
    }
    return text;
}

// Key from the mean lightness, contrast from its spread (CIE L*, 0..100). A full ramp from
// black to white has a spread of about 29.
constexpr double lowKeyBelow = 35.0;
constexpr double highKeyAbove = 65.0;
constexpr double lowContrastBelow = 13.0;
constexpr double highContrastAbove = 32.0;

double lightness(double luma16)
{
    // Luma is the encoded value of a grey of the same luminance.
    return DisplayColour::xyzToLab({ 0.0, DisplayColour::proPhotoToLinear(luma16 / 65535.0), 0.0 })[0];
}

std::string describeTone(const std::uint64_t *lumaBins, int depth, double total)
{
    double sum = 0, sum2 = 0;
    for (int bin = 0; bin < MHist::numBins; ++bin) {
        if (!lumaBins[bin])
            continue;
        // The middle of the bin's range of values on the 16-bit scale.
        const double value = depth == 16 ? bin * 256.0 + 127.5 : bin * 257.0;
        const double l = lightness(value);
        sum += double(lumaBins[bin]) * l;
        sum2 += double(lumaBins[bin]) * l * l;
    }
    const double mean = sum / total;
    const double spread = std::sqrt(std::max(0.0, sum2 / total - mean * mean));
    std::string text = mean < lowKeyBelow ? "low-key" : mean > highKeyAbove ? "high-key" : "mid-key";
    text += spread < lowContrastBelow ? ", low contrast"
        : spread > highContrastAbove  ? ", high contrast"
                                      : ", normal contrast";
    return text;
}

// Temperature: the mean of the colours' component along the orange-blue axis of Lab (hue
// 45 degrees), over all samples; greys count as zero.
constexpr double warmAbove = 4.0;
constexpr double coolBelow = -4.0;
// Harmony looks at the hues of samples with at least this chroma (CIE C*).
constexpr double chromaticFrom = 12.0;
// Too few chromatic samples and the picture reads as one colour however they are spread.
constexpr double monochromeBelowShare = 0.1;
constexpr int hueBins = 36;
// Share of the chromatic samples that must fall into the hue windows.
constexpr double windowShare = 0.85;
constexpr double pairShare = 0.8;

double windowMass(const double *hues, int start, int width)
{
    double mass = 0;
    for (int i = 0; i < width; ++i)
        mass += hues[(start + i) % hueBins];
    return mass;
}

double bestWindow(const double *hues, int width)
{
    double best = 0;
    for (int start = 0; start < hueBins; ++start)
        best = std::max(best, windowMass(hues, start, width));
    return best;
}

// Two 60-degree windows whose centres lie 150 to 210 degrees apart, each holding at least
// a tenth of the chromatic samples.
double bestOpposingPair(const double *hues, double chromatic)
{
    double best = 0;
    for (int a = 0; a < hueBins; ++a) {
        for (int offset = 15; offset <= 21; ++offset) {
            const double ma = windowMass(hues, a, 6), mb = windowMass(hues, a + offset, 6);
            if (ma >= 0.1 * chromatic && mb >= 0.1 * chromatic)
                best = std::max(best, ma + mb);
        }
    }
    return best;
}

// Hue on the familiar colour wheel (HSV of the sRGB values, red 0, green 120, blue 240),
// where complementary colours face each other; -1 for a grey.
double wheelHue(const Vec3 &srgb)
{
    const double r = srgb[0], g = srgb[1], b = srgb[2];
    const double high = std::max({ r, g, b }), low = std::min({ r, g, b }), range = high - low;
    if (range <= 0)
        return -1;
    double hue = high == r ? (g - b) / range : high == g ? 2.0 + (b - r) / range : 4.0 + (r - g) / range;
    hue *= 60.0;
    return hue < 0 ? hue + 360.0 : hue;
}

std::string describeColours(const std::vector<Point> &points, double total)
{
    double warmth = 0, chromatic = 0;
    double hues[hueBins] = {};
    for (const Point &p : points) {
        warmth += p.weight * (p.lab[1] + p.lab[2]) / std::sqrt(2.0);
        const double hue = wheelHue(p.srgb);
        if (std::hypot(p.lab[1], p.lab[2]) < chromaticFrom || hue < 0)
            continue;
        hues[std::min(hueBins - 1, int(hue / (360.0 / hueBins)))] += p.weight;
        chromatic += p.weight;
    }
    warmth /= total;
    std::string text = warmth > warmAbove ? "warm" : warmth < coolBelow ? "cool" : "neutral";
    if (chromatic < monochromeBelowShare * total || bestWindow(hues, 3) >= windowShare * chromatic)
        return text + ", monochrome";
    if (bestWindow(hues, 9) >= windowShare * chromatic)
        return text + ", analogous";
    if (bestOpposingPair(hues, chromatic) >= pairShare * chromatic)
        return text + ", complementary";
    return text + ", varied";
}

}

bool MHist::colorTheme(std::string &palette, std::string &tone, std::string &colours) const
{
    palette.clear();
    tone.clear();
    colours.clear();
    if (m_total == 0)
        return false;
    std::vector<Point> points;
    for (const Cell &c : m_cells) {
        if (!c.count)
            continue;
        const double n = double(c.count);
        const DisplayColour::Colour colour = DisplayColour::fromPlanes(c.sum[0] / n, c.sum[1] / n, c.sum[2] / n);
        points.push_back({ colour.lab, colour.srgb, n });
    }
    const double total = double(m_total);
    palette = describePalette(points, total);
    tone = describeTone(m_bins[0], m_depth, total);
    colours = describeColours(points, total);
    return true;
}

bool MHist::computeColorTheme(const cv::Mat &merged, std::string &palette, std::string &tone, std::string &colours)
{
    palette.clear();
    tone.clear();
    colours.clear();
    return computeMerged(merged) && colorTheme(palette, tone, colours);
}
