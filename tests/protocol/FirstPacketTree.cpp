#include "FirstPacketTree.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace ferrow::test {

namespace {

double density(std::string_view bytes)
{
    std::size_t bits = 0;
    for (const char c : bytes) {
        bits += std::popcount(static_cast<unsigned char>(c));
    }
    return bytes.empty() ? 0 : static_cast<double>(bits) / static_cast<double>(bytes.size());
}

constexpr std::array<const char*, kPacketFeatures> kNames = {
    "length",        "density",       "head density",  "tail density", "extreme share", "printable share",
    "longest run",   "runs of 4+",    "bytes 0-31",    "bytes 32-63",  "bytes 64-95",   "bytes 96-127",
    "bytes 128-159", "bytes 160-191", "bytes 192-223", "bytes 224-255"};

} // namespace

PacketFeatures packetFeatures(std::string_view packet)
{
    PacketFeatures out{};
    const auto size = static_cast<double>(std::max<std::size_t>(packet.size(), 1));
    out[0] = static_cast<double>(packet.size());
    out[1] = density(packet);
    out[2] = density(packet.substr(0, 32));
    out[3] = density(packet.substr(packet.size() > 32 ? packet.size() - 32 : 0));
    std::size_t extreme = 0;
    std::size_t printable = 0;
    std::size_t run = 0;
    std::size_t longest = 0;
    std::size_t runs = 0;
    for (const char c : packet) {
        const auto byte = static_cast<unsigned char>(c);
        const int bits = std::popcount(byte);
        extreme += bits <= 2 || bits >= 6;
        if (byte >= 0x20 && byte <= 0x7e) {
            ++printable;
            longest = std::max(longest, ++run);
            runs += run == 4;
        } else {
            run = 0;
        }
        out[8 + byte / 32] += 1 / size;
    }
    out[4] = static_cast<double>(extreme) / size;
    out[5] = static_cast<double>(printable) / size;
    out[6] = static_cast<double>(longest);
    out[7] = static_cast<double>(runs);
    return out;
}

struct DecisionTree::Node {
    int feature = -1; // -1: a leaf
    double threshold = 0;
    bool label = false;
    std::unique_ptr<Node> below; // feature <= threshold
    std::unique_ptr<Node> above;
};

namespace {

double gini(std::size_t positive, std::size_t total)
{
    if (total == 0) {
        return 0;
    }
    const double p = static_cast<double>(positive) / static_cast<double>(total);
    return 2 * p * (1 - p) * static_cast<double>(total);
}

std::unique_ptr<DecisionTree::Node> grow(const std::vector<PacketFeatures>& samples,
                                         const std::vector<bool>& labels, std::vector<std::size_t> rows,
                                         int depth)
{
    auto node = std::make_unique<DecisionTree::Node>();
    const auto positive = static_cast<std::size_t>(
        std::count_if(rows.begin(), rows.end(), [&labels](std::size_t row) { return labels[row]; }));
    node->label = 2 * positive >= rows.size();
    if (depth == 0 || positive == 0 || positive == rows.size()) {
        return node;
    }
    double best = gini(positive, rows.size());
    for (std::size_t feature = 0; feature < kPacketFeatures; ++feature) {
        std::vector<std::pair<double, bool>> values;
        for (const auto row : rows) {
            values.emplace_back(samples[row][feature], labels[row]);
        }
        std::sort(values.begin(), values.end());
        // Every distinct boundary is a candidate; the counts to its left come from one pass.
        std::size_t leftPositive = 0;
        for (std::size_t i = 0; i + 1 < values.size(); ++i) {
            leftPositive += values[i].second;
            if (values[i].first == values[i + 1].first) {
                continue;
            }
            const std::size_t left = i + 1;
            const double impurity =
                gini(leftPositive, left) + gini(positive - leftPositive, values.size() - left);
            if (impurity < best - 1e-9) {
                best = impurity;
                node->feature = static_cast<int>(feature);
                node->threshold = (values[i].first + values[i + 1].first) / 2;
            }
        }
    }
    if (node->feature < 0) {
        return node;
    }
    std::vector<std::size_t> below;
    std::vector<std::size_t> above;
    for (const auto row : rows) {
        (samples[row][static_cast<std::size_t>(node->feature)] <= node->threshold ? below : above)
            .push_back(row);
    }
    node->below = grow(samples, labels, std::move(below), depth - 1);
    node->above = grow(samples, labels, std::move(above), depth - 1);
    return node;
}

void describe(const DecisionTree::Node& node, int indent, std::string& out)
{
    out.append(static_cast<std::size_t>(indent) * 2, ' ');
    if (node.feature < 0) {
        out += node.label ? "-> first class\n" : "-> second class\n";
        return;
    }
    out += std::string(kNames[static_cast<std::size_t>(node.feature)]) +
           " <= " + std::to_string(node.threshold) + "\n";
    describe(*node.below, indent + 1, out);
    describe(*node.above, indent + 1, out);
}

} // namespace

DecisionTree::DecisionTree(const std::vector<PacketFeatures>& samples, const std::vector<bool>& labels,
                           int depth)
{
    std::vector<std::size_t> rows(samples.size());
    std::iota(rows.begin(), rows.end(), std::size_t{0});
    m_root = grow(samples, labels, std::move(rows), depth);
}

DecisionTree::~DecisionTree() = default;
DecisionTree::DecisionTree(DecisionTree&&) noexcept = default;
DecisionTree& DecisionTree::operator=(DecisionTree&&) noexcept = default;

bool DecisionTree::classify(const PacketFeatures& features) const
{
    const Node* node = m_root.get();
    while (node->feature >= 0) {
        node = features[static_cast<std::size_t>(node->feature)] <= node->threshold ? node->below.get()
                                                                                    : node->above.get();
    }
    return node->label;
}

double DecisionTree::accuracy(const std::vector<PacketFeatures>& samples,
                              const std::vector<bool>& labels) const
{
    std::size_t right = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        right += classify(samples[i]) == labels[i];
    }
    return samples.empty() ? 0 : static_cast<double>(right) / static_cast<double>(samples.size());
}

std::string DecisionTree::describe() const
{
    std::string out;
    ferrow::test::describe(*m_root, 0, out);
    return out;
}

} // namespace ferrow::test
