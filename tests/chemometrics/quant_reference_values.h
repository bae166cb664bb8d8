// Made by make_quant_references.py (numpy 1.24.2); do not edit.
#pragma once

#include <cstdint>

namespace quant_reference {

constexpr double item0[] = {1.5, -2.0, 0.25, 3.0, 0.5, -1.0};
constexpr double constants0[] = {2.0, -1.0};
constexpr double item1[] = {0.10000000149011612, 4.0, -0.75, 2.5, -3.5, 1.25};
constexpr double constants1[] = {0.5, 3.0};
constexpr double item2[] = {-1.0, 0.30000001192092896, 2.0, 0.0, 1.75, -2.5};
constexpr double constants2[] = {-1.5, 0.25};
constexpr double sum[] = {0.6000000014901161, 2.300000011920929, 1.5, 5.5, -1.25, -2.25};
constexpr double square_sum[] = {3.260000000298023, 20.090000007152558, 4.625, 15.25, 15.5625, 8.8125};
constexpr double const_sum[] = {4.550000000745058, -2.4500000178813934, -2.875, 4.5, -10.5625, 4.125};

constexpr int n = 8;
constexpr double a[] = {1.2000000476837158, 2.9000000953674316, -1.0, 4.099999904632568, 5.300000190734863, 6.0, 7.699999809265137, 8.100000381469727};
constexpr double b[] = {0.5, 1.100000023841858, 1.600000023841858, -1.0, 2.4000000953674316, 3.299999952316284, 3.5, 4.199999809265137};
constexpr int a_missing = 2;
constexpr int b_missing = 3;
constexpr double r2_centred = 0.9672610132666702;
constexpr double r2_uncentred = 0.9915214961888367;
constexpr double slope_centred = 1.8361905773037375;
constexpr double slope_uncentred = 2.026666731572812;

constexpr unsigned x_rows = 6;
constexpr unsigned x_columns = 2;
constexpr double x[] = {1.0, 0.5, 1.0, 1.5, 1.0, 2.0, 1.0, 3.5, 1.0, 4.0, 1.0, 5.5};
constexpr double y[] = {1.100000023841858, 2.299999952316284, 2.200000047683716, 4.800000190734863, 4.099999904632568, 6.900000095367432};
constexpr double multiple_r = 0.9725810416951406;
constexpr double pseudo_inverse[] = {0.5594059405940595, 0.3910891089108912, 0.30693069306930704, 0.05445544554455446, -0.02970297029702971, -0.28217821782178226, -0.1386138613861386, -0.07920792079207924, -0.04950495049504955, 0.039603960396039584, 0.06930693069306929, 0.1584158415841584};

constexpr double actual[] = {1.0, 10.0, 2.0, 12.0, 3.5, 9.0};
constexpr double predicted[] = {1.25, 9.0, 1.5, 12.5, 3.0, 11.0};
constexpr double ranges[] = {0.0, 4.0, 20.0, 5.0};
constexpr double rms_sample[] = {0.7288689868556626, 0.5, 1.4577379737113252};
constexpr double rms_overall[] = {0.7288689868556626, 0.625, 0.9842509842514764};
constexpr double rms_component[] = {0.25, 1.0, 0.39528470752104744, 0.7905694150420949, 0.4330127018922193, 1.3228756555322954};
constexpr double accuracy_sample[] = {74.15322930121529, 63.409169333166425, 48.30645860243059};
constexpr double accuracy_overall[] = {74.15322930121529, 68.32237031875297, 60.50668129642405};
constexpr double accuracy_component[] = {75.0, 73.33333333333334, 60.47152924789525, 78.91814893221081, 56.69872981077807, 64.72331585247213};

}  // namespace quant_reference
