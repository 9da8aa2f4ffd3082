// SPDX-License-Identifier: BSD-3-Clause
// Float family without registers: Float, SwissKnife and Converter.
#include "computed_nodes.h"

namespace corvid2::genapi::detail {

namespace {

class FloatNode : public PlainNumberNode<FloatBase, double> {
public:
    using PlainNumberNode::PlainNumberNode;
    double getFloat(bool verify, bool ignoreCache) override { return value_.get(verify, ignoreCache); }
    void setFloat(double value, bool verify) override { value_.set(value, verify); }
    double floatMin() override { return limitMin(); }
    double floatMax() override { return limitMax(); }
    double floatInc() override { return limitInc(); }
    void floatRange(double& low, double& high) override { limitRange(low, high); }
};

class SwissKnifeFloatNode : public SwissKnifeNode<FloatBase, double> {
public:
    using SwissKnifeNode::SwissKnifeNode;
    double getFloat(bool, bool) override { return evaluate(); }
};

class ConverterFloatNode : public ConverterNode<FloatBase, double> {
public:
    using ConverterNode::ConverterNode;
    double getFloat(bool verify, bool ignoreCache) override { return read(verify, ignoreCache); }
    void setFloat(double value, bool verify) override { write(value, verify); }
    double floatMin() override { return limit(false); }
    double floatMax() override { return limit(true); }
    void floatRange(double& low, double& high) override { range(low, high); }
    bool hasIncrement() override { return convertsIncrement(); }
    double floatInc() override { return convertsIncrement() ? convertedIncrement() : 0; }
};

}  // namespace

void addFloatCreators(CreatorTable& table) {
    table["Float"] = createNode<FloatNode>;
    table["SwissKnife"] = createNode<SwissKnifeFloatNode>;
    table["Converter"] = createNode<ConverterFloatNode>;
}

}  // namespace corvid2::genapi::detail
