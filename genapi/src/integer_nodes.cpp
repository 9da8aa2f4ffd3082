// SPDX-License-Identifier: BSD-3-Clause
// Integer family without registers: Integer, IntSwissKnife and IntConverter.
#include "computed_nodes.h"

namespace corvid2::genapi::detail {

namespace {

class IntegerNode : public PlainNumberNode<IntegerBase, int64_t> {
public:
    using PlainNumberNode::PlainNumberNode;
    int64_t getInt(bool verify, bool ignoreCache) override { return value_.get(verify, ignoreCache); }
    void setInt(int64_t value, bool verify) override { value_.set(value, verify); }
    int64_t intMin() override { return limitMin(); }
    int64_t intMax() override { return limitMax(); }
    int64_t intInc() override { return limitInc(); }
    void intRange(int64_t& low, int64_t& high) override { limitRange(low, high); }
};

class IntSwissKnifeNode : public SwissKnifeNode<IntegerBase, int64_t> {
public:
    using SwissKnifeNode::SwissKnifeNode;
    int64_t getInt(bool, bool) override { return evaluate(); }
};

class IntConverterNode : public ConverterNode<IntegerBase, int64_t> {
public:
    using ConverterNode::ConverterNode;
    int64_t getInt(bool verify, bool ignoreCache) override { return read(verify, ignoreCache); }
    void setInt(int64_t value, bool verify) override { write(value, verify); }
    int64_t intMin() override { return limit(false); }
    int64_t intMax() override { return limit(true); }
    void intRange(int64_t& low, int64_t& high) override { range(low, high); }
};

}  // namespace

void addIntegerCreators(CreatorTable& table) {
    table["Integer"] = createNode<IntegerNode>;
    table["IntSwissKnife"] = createNode<IntSwissKnifeNode>;
    table["IntConverter"] = createNode<IntConverterNode>;
}

}  // namespace corvid2::genapi::detail
