// The receiver's CTLE tables and the look-ups that pick a configuration.
#include "Quorvane_pelisk4.h"

#include <cstdlib>

// Every configuration is used at unit gain: the residues carry the level.
const double RxCTLE_gain[RX_CTLE_CONFIGS] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0,
                                             1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};

// Poles of the fifteen CTLE configurations, radians per second, six slots per
// row stored as re, im pairs. Complex poles come in conjugate pairs; slots
// after the used ones hold the filler pole, whose residue is zero.
const double RxCTLE_poles[15][12] = {
    // row 0: RX_Process -1, EQ_Config 0
    {
        -31096171075.6112, -42833784694.4154,
        -31096171075.6112, 42833784694.4154,
        -20340041988.9707, 11746682224.9747,
        -20340041988.9707, -11746682224.9747,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 1: RX_Process -1, EQ_Config 1
    {
        -17644398562.6193, -22680959528.9504,
        -17644398562.6193, 22680959528.9504,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 2: RX_Process -1, EQ_Config 2
    {
        -20716703005.3989, 17666853083.0281,
        -20716703005.3989, -17666853083.0281,
        -15960389885.5297, 0.0,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 3: RX_Process -1, EQ_Config 3
    {
        -25096330427.5292, -31580169815.2438,
        -25096330427.5292, 31580169815.2438,
        -11760483071.4732, 13491110037.2199,
        -11760483071.4732, -13491110037.2199,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 4: RX_Process -1, EQ_Config 4
    {
        -1589001474792.71, 0.0,
        -21944833773.388, -56709585667.8613,
        -21944833773.388, 56709585667.8613,
        -14684206795.9806, -18619306126.0712,
        -14684206795.9806, 18619306126.0712,
        -27569917.0654088, 0.0
    },
    // row 5: RX_Process 0, EQ_Config 0
    {
        -68237250666.2843, -19919647096.8273,
        -68237250666.2843, 19919647096.8273,
        -33862436446.1508, 0.0,
        -16264393342.0389, 0.0,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 6: RX_Process 0, EQ_Config 1
    {
        -25082866432.4233, -11474835890.4724,
        -25082866432.4233, 11474835890.4724,
        -19534891668.3341, 0.0,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 7: RX_Process 0, EQ_Config 2
    {
        -44058284649.4629, 0.0,
        -17699553750.5448, 11558436030.0251,
        -17699553750.5448, -11558436030.0251,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 8: RX_Process 0, EQ_Config 3
    {
        -75326215052.3491, 0.0,
        -17246336095.1696, 37849710691.9177,
        -17246336095.1696, -37849710691.9177,
        -12042507619.016, 15085985629.5728,
        -12042507619.016, -15085985629.5728,
        -154415957414.096, 0.0   // filler
    },
    // row 9: RX_Process 0, EQ_Config 4
    {
        -25595673425.6589, -46828991646.8749,
        -25595673425.6589, 46828991646.8749,
        -13785999470.7787, 18509762278.519,
        -13785999470.7786, -18509762278.519,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 10: RX_Process 1, EQ_Config 0
    {
        -37450627000.5856, -31315196364.2807,
        -37450627000.5856, 31315196364.2807,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 11: RX_Process 1, EQ_Config 1
    {
        -39024506981.269, 82227963627.0505,
        -39024506981.269, -82227963627.0505,
        -23094920365.9897, 4487448491.48499,
        -23094920365.9897, -4487448491.48499,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 12: RX_Process 1, EQ_Config 2
    {
        -119280060827.043, 0.0,
        -13310406728.5931, 12560056532.9951,
        -13310406728.5931, -12560056532.9951,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 13: RX_Process 1, EQ_Config 3
    {
        -20007609468.085, -27824125144.1904,
        -20007609468.085, 27824125144.1904,
        -10491390219.7403, 14252317446.9059,
        -10491390219.7403, -14252317446.9059,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    },
    // row 14: RX_Process 1, EQ_Config 4
    {
        -64743436312.1784, 0.0,
        -11275142688.2346, -22977306837.4938,
        -11275142688.2346, 22977306837.4938,
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0,  // filler
        -154415957414.096, 0.0   // filler
    }
};

// Residues (section weights) of the fifteen CTLE configurations, stored like
// RxCTLE_poles; slot k belongs to pole slot k of the same row. They are
// partial-fraction fits of the measured equalizer responses, kept to the last
// digit of the fit (conjugate residues may differ in that digit).
const double RxCTLE_pfract[15][12] = {
    // row 0: RX_Process -1, EQ_Config 0
    {
        -2.37915259367209, -4.20054118066929,
        -2.37915259367208, 4.20054118066929,
        9.73540917153332, 1.28302081783633,
        9.73540917153332, -1.28302081783633,
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 1: RX_Process -1, EQ_Config 1
    {
        4.07093461429246, -1.32535173147512,
        4.07093461429246, 1.32535173147512,
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 2: RX_Process -1, EQ_Config 2
    {
        9.66197160278693, -1.40682080423952,
        9.66197160278693, 1.40682080423952,
        -15.3336962937353, 2.28278744330556e-15,
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 3: RX_Process -1, EQ_Config 3
    {
        1.51081171701409, -1.96568883579467,
        1.51081171701408, 1.96568883579467,
        -0.547323015545806, 3.88991560675589,
        -0.547323015545806, -3.88991560675589,
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 4: RX_Process -1, EQ_Config 4
    {
        3.3822203916648, -8.27480675833665e-16,
        -0.607610822777471, 1.3386159027347,
        -0.607610822777472, -1.33861590273469,
        -0.623429076899745, -4.26128316493023,
        -0.623429076899743, 4.26128316493023,
        0.0117847789136263, -1.77517825367676e-15
    },
    // row 5: RX_Process 0, EQ_Config 0
    {
        -26.7496268119364, -74.0475758057698,
        -26.7496268119364, 74.0475758057698,
        86.3620522220927, 2.07755370514019e-14,
        -11.719383744464, -9.26613141065884e-15,
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 6: RX_Process 0, EQ_Config 1
    {
        27.5929436047058, 15.7720084390049,
        27.5929436047058, -15.7720084390049,
        -42.5376374113022, -1.51805709402577e-15,
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 7: RX_Process 0, EQ_Config 2
    {
        5.17730201888251, 1.59706479296575e-15,
        0.428682632141524, 13.966765489041,
        0.428682632141523, -13.9667654890411,
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 8: RX_Process 0, EQ_Config 3
    {
        1.43448702298667, 1.48465224489303e-15,
        0.043271604332435, -1.58921264018173,
        0.0432716043324371, 1.58921264018173,
        0.619937245740641, 8.44839833028258,
        0.619937245740638, -8.44839833028258,
        0.0, 0.0   // filler
    },
    // row 9: RX_Process 0, EQ_Config 4
    {
        1.59514859225728, -0.38589860970098,
        1.59514859225728, 0.385898609700981,
        -0.970585871061834, 5.14490262852737,
        -0.970585871061829, -5.14490262852737,
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 10: RX_Process 1, EQ_Config 0
    {
        12.1451217237642, -5.91030311646926,
        12.1451217237642, 5.91030311646926,
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 11: RX_Process 1, EQ_Config 1
    {
        -0.852450702950273, 9.59043052649936,
        -0.852450702950263, -9.59043052649936,
        11.0071572741869, 48.7876800907681,
        11.0071572741868, -48.7876800907681,
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 12: RX_Process 1, EQ_Config 2
    {
        -1.16604174037739, 4.52112305926455e-17,
        5.72974935686531, 14.9239050755433,
        5.72974935686531, -14.9239050755433,
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 13: RX_Process 1, EQ_Config 3
    {
        4.75708621176252, -2.12375610393416,
        4.75708621176253, 2.12375610393416,
        -2.54404136962113, 7.92823355186192,
        -2.54404136962112, -7.92823355186192,
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    },
    // row 14: RX_Process 1, EQ_Config 4
    {
        -6.2238467648817, 1.72586351496576e-15,
        4.03811245066357, -8.63143436660765,
        4.03811245066358, 8.63143436660765,
        0.0, 0.0,  // filler
        0.0, 0.0,  // filler
        0.0, 0.0   // filler
    }
};

namespace {

// (RX_Process, EQ_Config) of each CTLE row, in row order.
struct Setting {
    int rx_process;
    int eq_config;
};
constexpr Setting kRowSettings[RX_CTLE_CONFIGS] = {
    {-1, 0}, {-1, 1}, {-1, 2}, {-1, 3}, {-1, 4}, {0, 0}, {0, 1}, {0, 2},
    {0, 3},  {0, 4},  {1, 0},  {1, 1},  {1, 2},  {1, 3}, {1, 4},
};

// Row r of a table of re, im pairs as six complex values.
void copy_row(const double (&row)[2 * RX_CTLE_ORDER], Complex *slots)
{
    for (int k = 0; k < RX_CTLE_ORDER; ++k)
        slots[k] = cmplx(row[2 * k], row[2 * k + 1]);
}

} // namespace

int RxCTLEGetIndex(int rx_process, int eq_config)
{
    for (int row = 0; row < RX_CTLE_CONFIGS; ++row)
        if (kRowSettings[row].rx_process == rx_process && kRowSettings[row].eq_config == eq_config)
            return row;
    return -1;
}

PeakingFilter RxCTLEGetFilter(double sample_interval, char *message, int message_size)
{
    // The filter copies what it is given, so the rows live on the stack.
    Complex poles[RX_CTLE_CONFIGS][RX_CTLE_ORDER];
    Complex residues[RX_CTLE_CONFIGS][RX_CTLE_ORDER];
    const Complex *pole_rows[RX_CTLE_CONFIGS];
    const Complex *residue_rows[RX_CTLE_CONFIGS];
    for (int row = 0; row < RX_CTLE_CONFIGS; ++row) {
        copy_row(RxCTLE_poles[row], poles[row]);
        copy_row(RxCTLE_pfract[row], residues[row]);
        pole_rows[row] = poles[row];
        residue_rows[row] = residues[row];
    }
    return SetupPeakingFilter(sample_interval, RX_CTLE_ORDER, RX_CTLE_CONFIGS, pole_rows, residue_rows,
                              RxCTLE_gain, message, message_size);
}
