#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ferrow::test {

/// What a simple classifier sees of one first packet: its length; bit density overall, of the
/// first and of the last 32 bytes; the share of bytes with at most two or at least six bits set;
/// the printable share, the longest printable run and the number of runs of four or more; and the
/// share of bytes in each eighth of the byte values.
inline constexpr std::size_t kPacketFeatures = 16;
using PacketFeatures = std::array<double, kPacketFeatures>;
PacketFeatures packetFeatures(std::string_view packet);

/// A binary decision tree (CART: Gini impurity, thresholds at quantiles of the node's samples)
/// of limited depth.
class DecisionTree {
public:
    struct Node;

    /// Trains on `samples` with labels; `depth` levels of splits at most.
    DecisionTree(const std::vector<PacketFeatures>& samples, const std::vector<bool>& labels, int depth);
    ~DecisionTree();
    DecisionTree(DecisionTree&&) noexcept;
    DecisionTree& operator=(DecisionTree&&) noexcept;

    bool classify(const PacketFeatures& features) const;
    /// Share of `samples` classified as labelled.
    double accuracy(const std::vector<PacketFeatures>& samples, const std::vector<bool>& labels) const;
    /// The splits, one per line, for a failure message.
    std::string describe() const;

private:
    std::unique_ptr<Node> m_root;
};

} // namespace ferrow::test
