// The instrument's command set: the listing holds the documented headers, and units reach the
// device operations they name, with the instance selected by the suffix first. Device slots are
// replaced by recorders for the duration of a test.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/krpath.h"
#include "scpi/scpi_analize.h"
#include "scpi/scpi_commands.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_tree.h"
#include "scpi_test_harness.h"

using krtest::LinkHarness;

namespace {

// ---- Listing --------------------------------------------------------------------------------

// Headers as the command set documents them ("[X]" optional, "<n>" numbered, "?" query only,
// "(?)" set and query), across every subtree. A form without a device operation behind it is not
// offered (the temperature, supply current, measured frequency and synchronous-sweep leaves
// only answer; the power variation only sets), and a status register's own query is its
// optional [EVENt] leaf.
const char *const documentedHeaders[] = {
    "SYSTem:COMMunicate:GPIB:ADDRess(?)",
    "SYSTem:COMMunicate:LAN:CONFig(?)",
    "SYSTem:COMMunicate:LAN:DEFault",
    "SYSTem:COMMunicate:LAN:GATEway(?)",
    "SYSTem:COMMunicate:LAN:IP(?)",
    "SYSTem:COMMunicate:LAN:IP:CONFigured?",
    "SYSTem:COMMunicate:LAN:MAC?",
    "SYSTem:COMMunicate:LAN:RESTart",
    "SYSTem:COMMunicate:LAN:RTMO(?)",
    "SYSTem:COMMunicate:LAN:SUBNet(?)",
    "SYSTem:COMMunicate:LAN:PORT(?)",
    "SYSTem:COMMunicate:LAN:MSESsion(?)",
    "SYSTem:COMMunicate:QUERy:ECHO(?)",
    "SYSTem:COMMunicate:SOCKet:ECHO",
    "SYSTem:COMMunicate:VXI:RTMO(?)",
    "SYSTem:ERRor:ALL?",
    "SYSTem:ERRor:[NEXT]?",
    "SYSTem:FIRMware:DATA",
    "SYSTem:FIRMware:UPDate?",
    "SYSTem:LOCK",
    "SYSTem:LOCK:REL",
    "SYSTem:NAME(?)",
    "SYSTem:PRES",
    "SYSTem:RESTart",
    "SYSTem:RESTart:FW",
    "SYSTem:SETTings?",
    "SYSTem:SETTings:CHANged?",
    "SYSTem:SETTings:CSEQuence?",
    "SYSTem:TEMPerature?",
    "STATus:NOISe(?)",
    "STATus:OPERation:SWEep:[EVENt]?",
    "STATus:OPERation:WAIT:[EVENt]?",
    "STATus:OPERation:[EVENt]?",
    "STATus:QUEStionable:MODulation:PULModulation:[EVENt]?",
    "STATus:QUEStionable:MODulation:[EVENt]?",
    "STATus:QUEStionable:POWer:[EVENt]?",
    "STATus:QUEStionable:[EVENt]?",
    "UNIT:POWer(?)",
    "ABORt",
    "INIT:[IMMediate]",
    "INIT:CONTinuous(?)",
    "TEST:FAST?",
    "TEST:FULL:REPort?",
    "TEST:FULL?",
    "TRIGger:OUTPut:MODE(?)",
    "TRIGger:OUTPut:POLarity(?)",
    "TRIGger:OUTPut:[VALid]:SOURce(?)",
    "TRIGger:KEY",
    "TRIGger:[SEQuence]:DELay(?)",
    "TRIGger:[SEQuence]:ECOunt(?)",
    "TRIGger:[SEQuence]",
    "TRIGger:[SEQuence]:SLOPe(?)",
    "TRIGger:[SEQuence]:SOURce(?)",
    "TRIGger:[SEQuence]:TYPE(?)",
    "TRIGger:SYNChronous:[IMMediate]",
    "TRIGger:SYNChronous:EXTernal:SOURce:[PORT](?)",
    "TRIGger:SYNChronous:SLOPe(?)",
    "TRIGger:SYNChronous:SOURce(?)",
    "TRIGger:SYNChronous:SOURce:CHANnel(?)",
    "OUTPut<n>:BLANking:[STATe](?)",
    "OUTPut<n>:OFF:MODE(?)",
    "OUTPut<n>:PROTection(?)",
    "OUTPut<n>:[STATe](?)",
    "MEMory<n>:FILE:CORRection:FLATness:DATA(?)",
    "MEMory<n>:FILE:CORRection:FLATness:DELete",
    "MEMory<n>:FILE:CORRection:FLATness:LOAD",
    "MEMory<n>:FILE:CORRection:FLATness:PEEK?",
    "MEMory<n>:FILE:CORRection:FLATness:READ?",
    "MEMory<n>:FILE:CORRection:FLATness:STORe",
    "MEMory<n>:FILE:CORRection:FLATness:WRITe",
    "MEMory<n>:FILE:DELete:ALL",
    "MEMory<n>:FILE:FREE:[ALL]?",
    "MEMory<n>:FILE:LIST(?)",
    "MEMory<n>:FILE:LIST:DATA(?)",
    "MEMory<n>:FILE:LIST:DELete",
    "MEMory<n>:FILE:LIST:LOAD(?)",
    "MEMory<n>:FILE:LIST:PEEK?",
    "MEMory<n>:FILE:LIST:READ?",
    "MEMory<n>:FILE:LIST:STORe",
    "MEMory<n>:FILE:LIST:WRITe",
    "MEMory<n>:RAM:FD<n>:READ?",
    "MEMory<n>:RAM:FD<n>:SIZE?",
    "MEMory<n>:RAM:FNA:READ?",
    "MEMory<n>:RAM:FNA<n>:READ?",
    "MEMory<n>:RAM:FNA<n>:SIZE?",
    "MEMory<n>:RAM:FNA<n>:SAMPles?",
    "MEMory<n>:RAM:FNB:READ?",
    "MEMory<n>:RAM:FNB<n>:READ?",
    "MEMory<n>:RAM:FNB<n>:SIZE?",
    "MEMory<n>:RAM:FNB<n>:SAMPles?",
    "MEMory<n>:RAM:TEST:DATA?",
    "MEMory<n>:RAM:TEST:READ?",
    "MEMory<n>",
    "DISPlay:ENABle",
    "DISPlay",
    "MEASure:FREQuency?",
    "MEASure:NOISe(?)",
    "MEASure:NOISe:FD",
    "MEASure:NOISe:FILTered",
    "MEASure:NOISe:VALid?",
    "MEASure:SUPPly<n>:CURRent?",
    "CONFigure:NOISe:BOARd(?)",
    "CONFigure:NOISe:CHANnel(?)",
    "CONFigure:NOISe:CLOCk",
    "CONFigure:NOISe:DELay(?)",
    "CONFigure:NOISe:DIVider(?)",
    "CONFigure:NOISe:FILTer(?)",
    "CONFigure:NOISe:GAIN(?)",
    "CONFigure:NOISe:GAIN:LIST?",
    "CONFigure:NOISe:SAMPles(?)",
    "CONFigure:NOISe:FSample?",
    "CONFigure:NOISe:VERSion(?)",
    "CONFigure:MEASurement:ITERations(?)",
    "CONFigure:MEASurement:PPD(?)",
    "CONFigure:PN:METHod:LOOP(?)",
    "CONFigure:PN:METHod:LOOP:AUTO(?)",
    "CONFigure:PN:METHod",
    "CONFigure:PN:LOOP(?)",
    "CONFigure:PN:LOOP:AUTO(?)",
    "CONFigure:FREQuency(?)",
    "CONFigure:FREQuency:AUTO(?)",
    "CONFigure:FREQuency:STARt(?)",
    "CONFigure:FREQuency:STOP(?)",
    "CONFigure:FREQuency:SPOT(?)",
    "CONFigure:ATTenuation(?)",
    "CONFigure:ATTenuation:AUTO(?)",
    "CONFigure:MODE",
    "[SOURce<n>]:FREQuency:CENTer(?)",
    "[SOURce<n>]:FREQuency:[CW](?)",
    "[SOURce<n>]:FREQuency:AUTO(?)",
    "[SOURce<n>]:FREQuency:EXACt?",
    "[SOURce<n>]:FREQuency:MEAS",
    "[SOURce<n>]:FREQuency:MEAS:CMINimum(?)",
    "[SOURce<n>]:FREQuency:MODE(?)",
    "[SOURce<n>]:FREQuency:PREscaler(?)",
    "[SOURce<n>]:FREQuency:PREscaler:AUTO(?)",
    "[SOURce<n>]:FREQuency:RESolution(?)",
    "[SOURce<n>]:FREQuency:ROUNding(?)",
    "[SOURce<n>]:FREQuency:SPAN(?)",
    "[SOURce<n>]:FREQuency:SPURs?",
    "[SOURce<n>]:FREQuency:STARt(?)",
    "[SOURce<n>]:FREQuency:STEP(?)",
    "[SOURce<n>]:FREQuency:STOP(?)",
    "[SOURce<n>]:FREQuency:TRIGger:[STATe](?)",
    "[SOURce<n>]:LIST:BLANking(?)",
    "[SOURce<n>]:LIST:COUNt(?)",
    "[SOURce<n>]:LIST:[CURRent]:POINts?",
    "[SOURce<n>]:LIST:DELay(?)",
    "[SOURce<n>]:LIST:DELay:AUTO(?)",
    "[SOURce<n>]:LIST:DELay:POINts?",
    "[SOURce<n>]:LIST:DIRection(?)",
    "[SOURce<n>]:LIST:DWELl(?)",
    "[SOURce<n>]:LIST:DWELl:POINts?",
    "[SOURce<n>]:LIST:FREQuency(?)",
    "[SOURce<n>]:LIST:FREQuency:POINts?",
    "[SOURce<n>]:LIST:MANual(?)",
    "[SOURce<n>]:LIST:MODE(?)",
    "[SOURce<n>]:LIST:PHASe(?)",
    "[SOURce<n>]:LIST:PHASe:POINts?",
    "[SOURce<n>]:LIST:POWer(?)",
    "[SOURce<n>]:LIST:POWer:POINts?",
    "[SOURce<n>]:LIST:PROGress?",
    "[SOURce<n>]:LIST:SYNChronous?",
    "[SOURce<n>]:PHASe:CENTer(?)",
    "[SOURce<n>]:PHASe:COMPensation(?)",
    "[SOURce<n>]:PHASe:MEMory:RESTart",
    "[SOURce<n>]:PHASe:MEMory:STATe(?)",
    "[SOURce<n>]:PHASe:MODE(?)",
    "[SOURce<n>]:PHASe:SPAN(?)",
    "[SOURce<n>]:PHASe:STARt(?)",
    "[SOURce<n>]:PHASe:STEP(?)",
    "[SOURce<n>]:PHASe:STOP(?)",
    "[SOURce<n>]:PHASe:STABility(?)",
    "[SOURce<n>]:PHASe:[ADJust](?)",
    "[SOURce<n>]:POWer:ALC:[STATe](?)",
    "[SOURce<n>]:POWer:ALC:BANDwidth:AUTO(?)",
    "[SOURce<n>]:POWer:ALC:BANDwidth(?)",
    "[SOURce<n>]:POWer:ALC:CONTroller(?)",
    "[SOURce<n>]:POWer:ALC:CONTroller:CENTer(?)",
    "[SOURce<n>]:POWer:ALC:CONTroller:SENSitivity(?)",
    "[SOURce<n>]:POWer:ALC:HOLD(?)",
    "[SOURce<n>]:POWer:ALC:HOLD:AUTO(?)",
    "[SOURce<n>]:POWer:ALC:HOLD:DELay(?)",
    "[SOURce<n>]:POWer:ALC:LOWNoise(?)",
    "[SOURce<n>]:POWer:ALC:SEARch(?)",
    "[SOURce<n>]:POWer:ALC:SEARch:BLANking(?)",
    "[SOURce<n>]:POWer:ALC:SEARch:VALid?",
    "[SOURce<n>]:POWer:ALC:BWIDth:AUTO(?)",
    "[SOURce<n>]:POWer:ALC:BWIDth(?)",
    "[SOURce<n>]:POWer:ATTenuation(?)",
    "[SOURce<n>]:POWer:ATTenuation:AUTO(?)",
    "[SOURce<n>]:POWer:ATTenuation:AUTO:CROSsing?",
    "[SOURce<n>]:POWer:ATTenuation:LIMit(?)",
    "[SOURce<n>]:POWer:ATTenuation:LIST?",
    "[SOURce<n>]:POWer:ATTenuation:REFPower(?)",
    "[SOURce<n>]:POWer:MODE(?)",
    "[SOURce<n>]:POWer:RAW?",
    "[SOURce<n>]:POWer:REF?",
    "[SOURce<n>]:POWer:STARt(?)",
    "[SOURce<n>]:POWer:STEP:[LINear](?)",
    "[SOURce<n>]:POWer:STOP(?)",
    "[SOURce<n>]:POWer:CENTer(?)",
    "[SOURce<n>]:POWer:SPAN(?)",
    "[SOURce<n>]:POWer:VARiate",
    "[SOURce<n>]:POWer:[LEVel]:[IMMediate]:[AMPLitude](?)",
    "[SOURce<n>]:SWEep:[FREQuency]:BLANking:INValid(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:BLANking:[TRIGger](?)",
    "[SOURce<n>]:SWEep:[FREQuency]:COUNt(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:DELay(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:DELay:AUTO(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:DIRection(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:DWELl(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:POINts(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:PROGress?",
    "[SOURce<n>]:SWEep:[FREQuency]:SPACing(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:SYNChronous?",
    "[SOURce<n>]:SWEep:[FREQuency]:TPOint?",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:ABORt",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:DELay(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:EXTernal:SLOPe(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:EXTernal:SOURce(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:INIT:[IMMediate]",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:INIT:CONTinuous(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:OUTPut:DELay(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:OUTPut:MODE(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:OUTPut:POLarity(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:OUTPut:PWIDth(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:SOURce(?)",
    "[SOURce<n>]:SWEep:[FREQuency]:TRIGger:[SEQuence]:TYPE(?)",
    "[SOURce<n>]:AIN<n>",
    "[SOURce<n>]:AM:HPASs(?)",
    "[SOURce<n>]:AM:INTernal:FREQuency(?)",
    "[SOURce<n>]:AM:INTernal:SHAPe(?)",
    "[SOURce<n>]:AM:SENSitivity(?)",
    "[SOURce<n>]:AM:SOURce(?)",
    "[SOURce<n>]:AM:STATe(?)",
    "[SOURce<n>]:AM:[DEPTh](?)",
    "[SOURce<n>]:BB:ARBitrary:AIQ:CLOCk?",
    "[SOURce<n>]:BB:ARBitrary:AIQ:SOURce:I(?)",
    "[SOURce<n>]:BB:ARBitrary:AIQ:SOURce:Q(?)",
    "[SOURce<n>]:BB:ARBitrary:AIQ:[STATe](?)",
    "[SOURce<n>]:BB:ARBitrary:CLOCk(?)",
    "[SOURce<n>]:BB:ARBitrary:CLOCk:ADJust(?)",
    "[SOURce<n>]:BB:ARBitrary:DELay:MODE(?)",
    "[SOURce<n>]:BB:ARBitrary:DELay:RELative",
    "[SOURce<n>]:BB:ARBitrary:FCP:CLOCk(?)",
    "[SOURce<n>]:BB:ARBitrary:FCP:[STATe](?)",
    "[SOURce<n>]:BB:ARBitrary:MODE(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:ABORt",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:DELay(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:EXTernal:SLOPe(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:EXTernal:SOURce(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:INIT:[IMMediate]",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:INIT:CONTinuous(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:OUTPut:DELay(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:OUTPut:POLarity(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:OUTPut:PWIDth(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:SOURce(?)",
    "[SOURce<n>]:BB:ARBitrary:TRIGger:[SEQuence]:TYPE(?)",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:CLOCk(?)",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:DATA",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:DATA:DELete",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:DATA:FREE?",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:FILE",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:FILE:DELete",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:FILE:FREE?",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:FILE:LIST?",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:STATe(?)",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:MARKer:STATe(?)",
    "[SOURce<n>]:BB:ARBitrary:WAVeform:MARKer:COUNt?",
    "[SOURce<n>]:BB:ARBitrary:WSEGment:SOURce(?)",
    "[SOURce<n>]:BB:ARBitrary:WSEGment:REServed(?)",
    "[SOURce<n>]:BB:ARBitrary:WSEGment(?)",
    "[SOURce<n>]:BB:ARBitrary:WSEGment:COUNt?",
    "[SOURce<n>]:BB:ARBitrary:WSEGment:MF<n>:INPut:SLOPe(?)",
    "[SOURce<n>]:BB:ARBitrary:WSEGment:MF<n>:INPut:WSEGment(?)",
    "[SOURce<n>]:BB:ARBitrary:WSEGment:MF<n>:INPut:[STATe](?)",
    "[SOURce<n>]:BB:ARBitrary:WSEGment:MODE(?)",
    "[SOURce<n>]:BB:ARBitrary:WSEQuence:LOAD",
    "[SOURce<n>]:BB:ARBitrary:WSEQuence:LOAD:ERRor?",
    "[SOURce<n>]:BB:ARBitrary:WSEQuence:RUN(?)",
    "[SOURce<n>]:BB:AVIO",
    "[SOURce<n>]:BB:AWGN:BANDwidth(?)",
    "[SOURce<n>]:BB:AWGN:CNR(?)",
    "[SOURce<n>]:BB:AWGN:POWer:CARRier(?)",
    "[SOURce<n>]:BB:AWGN:POWer:CONTrol(?)",
    "[SOURce<n>]:BB:AWGN:POWer:NOISe(?)",
    "[SOURce<n>]:BB:AWGN:[STATe](?)",
    "[SOURce<n>]:BB:DM:CLOCk?",
    "[SOURce<n>]:BB:DM:DATA?",
    "[SOURce<n>]:BB:DM:FILTer:PARameter(?)",
    "[SOURce<n>]:BB:DM:FILTer:TAPS(?)",
    "[SOURce<n>]:BB:DM:FILTer:TYPE(?)",
    "[SOURce<n>]:BB:DM:FORMat(?)",
    "[SOURce<n>]:BB:DM:PATTern:LENGth(?)",
    "[SOURce<n>]:BB:DM:OSAMpling(?)",
    "[SOURce<n>]:BB:DM:SRATe(?)",
    "[SOURce<n>]:BB:DM:STATe(?)",
    "[SOURce<n>]:BB:GENeral",
    "[SOURce<n>]:CARRier:ALC:ADC?",
    "[SOURce<n>]:CARRier:ALC:DAC(?)",
    "[SOURce<n>]:CARRier:DAT(?)",
    "[SOURce<n>]:CARRier:REFerence:DAT(?)",
    "[SOURce<n>]:CARRier:REFerence:STATe(?)",
    "[SOURce<n>]:CARRier:STATe(?)",
    "[SOURce<n>]:CHIRp:BLANking(?)",
    "[SOURce<n>]:CHIRp:COUNt(?)",
    "[SOURce<n>]:CHIRp:DIRection(?)",
    "[SOURce<n>]:CHIRp:DWELl(?)",
    "[SOURce<n>]:CHIRp:MODE(?)",
    "[SOURce<n>]:CHIRp:MULTichannel(?)",
    "[SOURce<n>]:CHIRp:PERiod(?)",
    "[SOURce<n>]:CHIRp:POINts(?)",
    "[SOURce<n>]:CHIRp:STARt(?)",
    "[SOURce<n>]:CHIRp:STOP(?)",
    "[SOURce<n>]:CHIRp:TIME(?)",
    "[SOURce<n>]:CORRection:FLATness:MODE(?)",
    "[SOURce<n>]:CORRection:FLATness:PAIR(?)",
    "[SOURce<n>]:CORRection:FLATness:POINts?",
    "[SOURce<n>]:CORRection:FLATness:PRESet",
    "[SOURce<n>]:CORRection:FLATness:[STATe](?)",
    "[SOURce<n>]:COUPling(?)",
    "[SOURce<n>]:COUPling:OFFSet(?)",
    "[SOURce<n>]:DME:STATe(?)",
    "[SOURce<n>]:DME:CLOCk?",
    "[SOURce<n>]:DME:FREQuency(?)",
    "[SOURce<n>]:DME:PWIDth(?)",
    "[SOURce<n>]:DME:PRISe(?)",
    "[SOURce<n>]:DME:PFALl(?)",
    "[SOURce<n>]:DME:PSPacing(?)",
    "[SOURce<n>]:DME:FILTer(?)",
    "[SOURce<n>]:DME:APULse:STATe(?)",
    "[SOURce<n>]:DME:APULse:PSELect(?)",
    "[SOURce<n>]:DME:APULse:PTYPe(?)",
    "[SOURce<n>]:DME:APULse:ATTenuation(?)",
    "[SOURce<n>]:DME:APULse:PWIDth(?)",
    "[SOURce<n>]:DME:APULse:PRISe(?)",
    "[SOURce<n>]:DME:APULse:PFALl(?)",
    "[SOURce<n>]:DME:APULse:PSPacing(?)",
    "[SOURce<n>]:DME:APULse:DELay(?)",
    "[SOURce<n>]:DME:ECHO:STATe(?)",
    "[SOURce<n>]:DME:ECHO:DELay(?)",
    "[SOURce<n>]:DME:ECHO:ATTenuation(?)",
    "[SOURce<n>]:DME:INTerference:STATe(?)",
    "[SOURce<n>]:DME:INTerference:DELay(?)",
    "[SOURce<n>]:DME:INTerference:ATTenuation(?)",
    "[SOURce<n>]:DME:DEADtime:STATe(?)",
    "[SOURce<n>]:DME:DEADtime:DELay(?)",
    "[SOURce<n>]:FCPort:MODE(?)",
    "[SOURce<n>]:FCPort:CONTrol:AMPLitude(?)",
    "[SOURce<n>]:FCPort:CONTrol:FREQuency(?)",
    "[SOURce<n>]:FCPort:CONTrol:LIST(?)",
    "[SOURce<n>]:FCPort:DIAGnostic?",
    "[SOURce<n>]:FCPort:DIRection(?)",
    "[SOURce<n>]:FCPort:STReam:CALibrate",
    "[SOURce<n>]:FCPort:STReam:IQ(?)",
    "[SOURce<n>]:FCPort:STReam:PDW(?)",
    "[SOURce<n>]:FCPort:STReam:SEGment(?)",
    "[SOURce<n>]:FCPort:TEST:[STATe](?)",
    "[SOURce<n>]:FM:AMPLitude(?)",
    "[SOURce<n>]:FM:CENTer(?)",
    "[SOURce<n>]:FM:COUPling(?)",
    "[SOURce<n>]:FM:DEViation(?)",
    "[SOURce<n>]:FM:INTernal:FREQuency(?)",
    "[SOURce<n>]:FM:INTernal:SHAPe(?)",
    "[SOURce<n>]:FM:SENSitivity(?)",
    "[SOURce<n>]:FM:SOURce(?)",
    "[SOURce<n>]:FM:STATe(?)",
    "[SOURce<n>]:FSK:DEViation(?)",
    "[SOURce<n>]:FSK:STATe(?)",
    "[SOURce<n>]:ILS:GS:AM0:STATe(?)",
    "[SOURce<n>]:ILS:GS:AM0:[DEPTh](?)",
    "[SOURce<n>]:ILS:GS:AM1:STATe(?)",
    "[SOURce<n>]:ILS:GS:AM1:[DEPTh](?)",
    "[SOURce<n>]:ILS:GS:DDM(?)",
    "[SOURce<n>]:ILS:GS:IDEN:[STATe](?)",
    "[SOURce<n>]:ILS:GS:IDEN:DEPTh(?)",
    "[SOURce<n>]:ILS:GS:IDEN:MODE(?)",
    "[SOURce<n>]:ILS:GS:IDEN:TEST:STATe(?)",
    "[SOURce<n>]:ILS:GS:SDM(?)",
    "[SOURce<n>]:ILS:GS:TEST",
    "[SOURce<n>]:ILS:GS:[STATe](?)",
    "[SOURce<n>]:ILS:LOCalizer:AM0:STATe(?)",
    "[SOURce<n>]:ILS:LOCalizer:AM0:[DEPTh](?)",
    "[SOURce<n>]:ILS:LOCalizer:AM1:STATe(?)",
    "[SOURce<n>]:ILS:LOCalizer:AM1:[DEPTh](?)",
    "[SOURce<n>]:ILS:LOCalizer:DDM(?)",
    "[SOURce<n>]:ILS:LOCalizer:IDEN:[STATe](?)",
    "[SOURce<n>]:ILS:LOCalizer:IDEN:DEPTh(?)",
    "[SOURce<n>]:ILS:LOCalizer:IDEN:MODE(?)",
    "[SOURce<n>]:ILS:LOCalizer:IDEN:TEST:STATe(?)",
    "[SOURce<n>]:ILS:LOCalizer:SDM(?)",
    "[SOURce<n>]:ILS:LOCalizer:TEST",
    "[SOURce<n>]:ILS:LOCalizer:[STATe](?)",
    "[SOURce<n>]:IQ:CRESt:AUTOmatic?",
    "[SOURce<n>]:IQ:CRESt:AWGN?",
    "[SOURce<n>]:IQ:CRESt:MANual(?)",
    "[SOURce<n>]:IQ:CRESt:[TOTal]?",
    "[SOURce<n>]:IQ:SOURce",
    "[SOURce<n>]:IQ:STATe(?)",
    "[SOURce<n>]:LFOutput:AMPLitude(?)",
    "[SOURce<n>]:LFOutput:DAC",
    "[SOURce<n>]:LFOutput:FREQuency(?)",
    "[SOURce<n>]:LFOutput:SHAPe(?)",
    "[SOURce<n>]:LFOutput:SOURce(?)",
    "[SOURce<n>]:LFOutput:STATe(?)",
    "[SOURce<n>]:LO1:STATe(?)",
    "[SOURce<n>]:LO1:FREQ(?)",
    "[SOURce<n>]:LO2:STATe(?)",
    "[SOURce<n>]:LO2:FREQ(?)",
    "[SOURce<n>]:MF:COUNt?",
    "[SOURce<n>]:MF<n>:INPut:STATe?",
    "[SOURce<n>]:MF<n>:OUTPut:ARB:SOURce(?)",
    "[SOURce<n>]:MF<n>:OUTPut:MARK:SOURce(?)",
    "[SOURce<n>]:MF<n>:OUTPut:MARK",
    "[SOURce<n>]:MF<n>:OUTPut:PDW:MARK:SOURce(?)",
    "[SOURce<n>]:MF<n>:OUTPut:PDW:MARK",
    "[SOURce<n>]:MF<n>:OUTPut:PDW:SOURce(?)",
    "[SOURce<n>]:MF<n>:OUTPut:PULM:SOURce(?)",
    "[SOURce<n>]:MF<n>:OUTPut:STATe(?)",
    "[SOURce<n>]:MF<n>:OUTPut:SOURce(?)",
    "[SOURce<n>]:MF<n>:OUTPut:SWEep:SOURce(?)",
    "[SOURce<n>]:MF<n>",
    "[SOURce<n>]:NOISe:STATe(?)",
    "[SOURce<n>]:NOISe:POWer(?)",
    "[SOURce<n>]:PDW:CONDition:DISCarded?",
    "[SOURce<n>]:PDW:CONFigure:END",
    "[SOURce<n>]:PDW:DATA",
    "[SOURce<n>]:PDW:FREQuency(?)",
    "[SOURce<n>]:PDW:LIST:COUNt(?)",
    "[SOURce<n>]:PDW:LIST:DELete",
    "[SOURce<n>]:PDW:MARKer(?)",
    "[SOURce<n>]:PDW:MODE(?)",
    "[SOURce<n>]:PDW:OUTPut:STATe(?)",
    "[SOURce<n>]:PDW:PHASe(?)",
    "[SOURce<n>]:PDW:POWer(?)",
    "[SOURce<n>]:PDW:PWIDth(?)",
    "[SOURce<n>]:PDW:STARt:TIME(?)",
    "[SOURce<n>]:PDW:STARt:TIME:MODE(?)",
    "[SOURce<n>]:PDW:STATe(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:[IMMediate]",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:ABORt",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:DELay(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:EXTernal:SLOPe(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:EXTernal:SOURce(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:INIT:[IMMediate]",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:INIT:CONTinuous(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:OUTPut:DELay(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:OUTPut:POLarity(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:OUTPut:PWIDth(?)",
    "[SOURce<n>]:PDW:TRIGger:[SEQuence]:SOURce(?)",
    "[SOURce<n>]:PDW:WAVeform:STATe(?)",
    "[SOURce<n>]:PDW:WAVeform:WSEGment(?)",
    "[SOURce<n>]:PM:DEViation(?)",
    "[SOURce<n>]:PM:INTernal:FREQuency(?)",
    "[SOURce<n>]:PM:INTernal:SHAPe(?)",
    "[SOURce<n>]:PM:SENSitivity(?)",
    "[SOURce<n>]:PM:SOURce(?)",
    "[SOURce<n>]:PM:STATe(?)",
    "[SOURce<n>]:PULM:BITStream(?)",
    "[SOURce<n>]:PULM:BITStream:BITS(?)",
    "[SOURce<n>]:PULM:BITStream:DIRection(?)",
    "[SOURce<n>]:PULM:BITStream:RATE(?)",
    "[SOURce<n>]:PULM:BITStream:STARtbit(?)",
    "[SOURce<n>]:PULM:BITStream:TIME(?)",
    "[SOURce<n>]:PULM:BITStream:TIME:JUMP",
    "[SOURce<n>]:PULM:COUNt(?)",
    "[SOURce<n>]:PULM:EXTernal:SOURce(?)",
    "[SOURce<n>]:PULM:INTernal:DOUBle:DELay(?)",
    "[SOURce<n>]:PULM:INTernal:DOUBle:STATe(?)",
    "[SOURce<n>]:PULM:INTernal:DOUBle:WIDTh(?)",
    "[SOURce<n>]:PULM:INTernal:FREQuency(?)",
    "[SOURce<n>]:PULM:INTernal:FREQuency:JUMP",
    "[SOURce<n>]:PULM:INTernal:PERiod(?)",
    "[SOURce<n>]:PULM:INTernal:PERiod:JUMP",
    "[SOURce<n>]:PULM:INTernal:WIDTh(?)",
    "[SOURce<n>]:PULM:INTernal:WIDTh:JUMP",
    "[SOURce<n>]:PULM:INTernal:MANual",
    "[SOURce<n>]:PULM:INTernal:QUADruple:DELay(?)",
    "[SOURce<n>]:PULM:INTernal:QUADruple:STATe(?)",
    "[SOURce<n>]:PULM:INTernal:QUADruple:WIDTh(?)",
    "[SOURce<n>]:PULM:INTernal:TBASe",
    "[SOURce<n>]:PULM:INTernal:TRIPle:DELay(?)",
    "[SOURce<n>]:PULM:INTernal:TRIPle:STATe(?)",
    "[SOURce<n>]:PULM:INTernal:TRIPle:WIDTh(?)",
    "[SOURce<n>]:PULM:INTernal:PWIDth(?)",
    "[SOURce<n>]:PULM:INTernal:PWIDth:JUMP",
    "[SOURce<n>]:PULM:MODE(?)",
    "[SOURce<n>]:PULM:MODulator(?)",
    "[SOURce<n>]:PULM:OUTPut:SOURce(?)",
    "[SOURce<n>]:PULM:OUTPut:VIDeo:SOURce(?)",
    "[SOURce<n>]:PULM:OUTPut:VIDeo:POLarity(?)",
    "[SOURce<n>]:PULM:POLarity(?)",
    "[SOURce<n>]:PULM:SOURce(?)",
    "[SOURce<n>]:PULM:STATe(?)",
    "[SOURce<n>]:ROSCillator:COUT:[STATe](?)",
    "[SOURce<n>]:ROSCillator:EXTernal:FREQuency(?)",
    "[SOURce<n>]:ROSCillator:EXTernal:FREQuency:JUMP",
    "[SOURce<n>]:ROSCillator:EXTernal:VARiable:FREQuency(?)",
    "[SOURce<n>]:ROSCillator:INTernal:STATe",
    "[SOURce<n>]:ROSCillator:INTernal:TUNing(?)",
    "[SOURce<n>]:ROSCillator:INTernal:MODE(?)",
    "[SOURce<n>]:ROSCillator:INTernal:MODE:READY?",
    "[SOURce<n>]:ROSCillator:INTernal:TUNE(?)",
    "[SOURce<n>]:ROSCillator:LOCKed?",
    "[SOURce<n>]:ROSCillator:LOCKed:TEST(?)",
    "[SOURce<n>]:ROSCillator:OUTPut:FREQuency(?)",
    "[SOURce<n>]:ROSCillator:OUTPut:[STATe](?)",
    "[SOURce<n>]:ROSCillator:SOURce(?)",
    "[SOURce<n>]:ROSCillator:SYSReference:OUTPut:[STATe](?)",
    "[SOURce<n>]:SUPPly<n>:CURRent(?)",
    "[SOURce<n>]:SUPPly<n>:STATe(?)",
    "[SOURce<n>]:SUPPly<n>:VOLTage(?)",
    "[SOURce<n>]:TUNE:EXTernal:VOLTage(?)",
    "[SOURce<n>]:TUNE:DUT:VOLTage(?)",
    "[SOURce<n>]:TUNE:DUT:STATus(?)",
    "[SOURce<n>]:TUNE:REFerence<n>:MINimum(?)",
    "[SOURce<n>]:TUNE:REFerence<n>:MAXimum(?)",
    "[SOURce<n>]:TUNE:VOLTage(?)",
    "[SOURce<n>]:TUNE:POLarity",
    "[SOURce<n>]:SELect(?)",
    "[SOURce<n>]:VOR:AM0:[DEPTh](?)",
    "[SOURce<n>]:VOR:AM1:[DEPTh](?)",
    "[SOURce<n>]:VOR:BEARing(?)",
    "[SOURce<n>]:VOR:FM:INDex(?)",
    "[SOURce<n>]:VOR:IDEN:[STATe](?)",
    "[SOURce<n>]:VOR:IDEN:DEPTh(?)",
    "[SOURce<n>]:VOR:IDEN:MODE(?)",
    "[SOURce<n>]:VOR:IDEN:TEST:STATe(?)",
    "[SOURce<n>]:VOR:TEST",
    "[SOURce<n>]:VOR:[STATe](?)",
    "[SOURce<n>]",
    "SENSe:MODE(?)",
    "SENSe:ADC:ROSCillator:SOUR(?)",
    "SENSe:ADC:ROSCillator:LOCKed?",
    "SENSe:AN:AVERage(?)",
    "SENSe:AN:CORRelation(?)",
    "SENSe:AN:FREQuency(?)",
    "SENSe:AN:FREQuency:AUTO(?)",
    "SENSe:AN:FREQuency:DETect(?)",
    "SENSe:AN:FREQuency:STARt(?)",
    "SENSe:AN:FREQuency:STOP(?)",
    "SENSe:AN:PPD(?)",
    "SENSe:AN:PULSe(?)",
    "SENSe:AN:PULSe:DUTYcycle(?)",
    "SENSe:AN:PULSe:GATE(?)",
    "SENSe:AN:PULSe:RATE(?)",
    "SENSe:AN:RESet",
    "SENSe:AN:SMOothing:APERture(?)",
    "SENSe:AN:SMOothing:STATe(?)",
    "SENSe:AN:SPURious:OMISsion(?)",
    "SENSe:AN:SPURious:OMISsion:THReshold(?)",
    "SENSe:AN:SPURious:THReshold(?)",
    "SENSe:BN:AVERage(?)",
    "SENSe:BN:CORRelation(?)",
    "SENSe:BN:FREQuency:STARt(?)",
    "SENSe:BN:FREQuency:STOP(?)",
    "SENSe:BN:PPD(?)",
    "SENSe:BN:RESet",
    "SENSe:BN:SMOothing:APERture(?)",
    "SENSe:BN:SMOothing:STATe(?)",
    "SENSe:BN:SPURious:OMISsion(?)",
    "SENSe:BN:SPURious:OMISsion:THReshold(?)",
    "SENSe:BN:SPURious:THReshold(?)",
    "SENSe:FN:AVERage(?)",
    "SENSe:FN:CORRelation(?)",
    "SENSe:FN:FREQuency(?)",
    "SENSe:FN:FREQuency:AUTO(?)",
    "SENSe:FN:FREQuency:DETect(?)",
    "SENSe:FN:FREQuency:STARt(?)",
    "SENSe:FN:FREQuency:STOP(?)",
    "SENSe:FN:PPD(?)",
    "SENSe:FN:RESet",
    "SENSe:FN:SMOothing:APERture(?)",
    "SENSe:FN:SMOothing:STATe(?)",
    "SENSe:FN:SPURious:OMISsion(?)",
    "SENSe:FN:SPURious:OMISsion:THReshold(?)",
    "SENSe:FN:SPURious:THReshold(?)",
    "SENSe:FREQuency(?)",
    "SENSe:FREQuency:AUTO(?)",
    "SENSe:FREQuency:EXECute",
    "SENSe:FREQuency:DETect(?)",
    "SENSe:FREQuency:HARMonics(?)",
    "SENSe:FREQuency:RANGe(?)",
    "SENSe:POWer:EXECute",
    "SENSe:RESet",
    "SENSe:PN:KPHI(?)",
    "SENSe:PN:KPHI:AUTO(?)",
    "SENSe:PN:KPHI:DETect(?)",
    "SENSe:PN:LOBandwidth(?)",
    "SENSe:PN:LOBandwidth:AUTO(?)",
    "SENSe:PN:LOBW(?)",
    "SENSe:PN:ZETA(?)",
    "SENSe:PN:PREAmplifier(?)",
    "SENSe:PN:PULSe(?)",
    "SENSe:PN:LOCKonly(?)",
    "SENSe:PN:DCYC(?)",
    "SENSe:PN:PURA(?)",
    "SENSe:PN:REFerences<n>?",
    "SENSe:PN:REFerences<n>:SENS(?)",
    "SENSe:PN:REFerences<n>:SENS:EXECute",
    "SENSe:PN:TEST(?)",
    "SENSe:PN:METHod",
    "SENSe:PN:AVERage(?)",
    "SENSe:PN:AVERage:COUNt",
    "SENSe:PN:ATTenuation(?)",
    "SENSe:PN:ATTenuation:AUTO(?)",
    "SENSe:PN:ATTenuation:DETect(?)",
    "SENSe:PN:IFGain(?)",
    "SENSe:PN:IFGain:AUTO(?)",
    "SENSe:PN:IFGain:DETect(?)",
    "SENSe:PN:IFPath(?)",
    "SENSe:PN:IFPath:AUTO(?)",
    "SENSe:PN:FREQuency(?)",
    "SENSe:PN:FREQuency:AUTO(?)",
    "SENSe:PN:FREQuency:DETect(?)",
    "SENSe:PN:FREQuency:STARt(?)",
    "SENSe:PN:FREQuency:STOP(?)",
    "SENSe:PN:FREQuency:SPOT(?)",
    "SENSe:PN:PPD(?)",
    "SENSe:PN:RESet",
    "SENSe:PN:FUNCtion:RANGe",
    "SENSe:PN:SPURious:OMISsion(?)",
    "SENSe:PN:SPURious:OMISsion:THReshold(?)",
    "SENSe:PN:SPURious:THReshold(?)",
    "SENSe:PN:SMOothing:APERture(?)",
    "SENSe:PN:SMOothing:STATe(?)",
    "SENSe:PN:MEASure:SPOT?",
    "SENSe:PN:INIT(?)",
    "SENSe:PN:CORRelation(?)",
    "SENSe:PN:ASET(?)",
    "SENSe:PN:ASET:AUTO(?)",
    "SENSe:PN:ASET:DETect(?)",
    "SENSe:SPECtrum:TEST:ATTenuation(?)",
    "SENSe:SPECtrum:TEST:ATTenuation:AUTO(?)",
    "SENSe:SPECtrum:TEST:CALibrate(?)",
    "SENSe:SPECtrum:TEST:FREQuency:STARt(?)",
    "SENSe:SPECtrum:TEST:FREQuency:STOP(?)",
    "SENSe:SPECtrum:TEST:RBW(?)",
    "SENSe:SPECtrum:TEST:RBW:AUTO(?)",
    "SENSe:SPECtrum:TEST:RLEVel(?)",
    "SENSe:SPECtrum:TEST:ROSCillator:SOURce(?)",
    "SENSe:SPECtrum:TEST:ROSCillator:LOCKed?",
    "SENSe:SPECtrum:TEST:ITERations(?)",
    "SENSe:SPECtrum:TEST:POINt(?)",
    "SENSe:TRANsient:ROSCillator:SOURce(?)",
    "SENSe:TRANsient:ROSCillator:LOCKed?",
    "SENSe:VCO:DWELL(?)",
    "SENSe:VCO:REFerences<n>",
    "SENSe:VCO:VOLTage:POINts(?)",
    "SENSe:VCO:VOLTage:STARt(?)",
    "SENSe:VCO:VOLTage:STOP(?)",
    "SENSe:VCO:TEST:ISUPply(?)",
    "SENSe:VCO:TEST:KVCO(?)",
    "SENSe:VCO:TEST:KPUSh(?)",
    "SENSe:VCO:TEST:PNoise(?)",
    "SENSe:VCO:TEST:PNoise:COUNt?",
    "SENSe:VCO:TEST:PNoise:OFFSet<n>(?)",
    "SENSe:VCO:TEST:POWer(?)",
    "SENSe:VCO:TYPE",
    "SENSe:BB:METHod",
    "SENSe:PATH",
    "SENSe:PATH:AM",
    "SENSe:PATH:BB",
    "SENSe:PATH:PN",
    "SENSe:PATH:MUX",
    "SENSe:ROSCillator:INTernal(?)",
    "SENSe:ROSCillator:INTernal:LOWNoise(?)",
    "DIAGnostic<n>:AIQ:[STATe](?)",
    "DIAGnostic<n>:ALC:ATTenuator(?)",
    "DIAGnostic<n>:ALC:CONTrolvalue(?)",
    "DIAGnostic<n>:ALC:COUPler",
    "DIAGnostic<n>:ALC:DAC(?)",
    "DIAGnostic<n>:ALC:DAT(?)",
    "DIAGnostic<n>:ALC:MARGin(?)",
    "DIAGnostic<n>:ALC:PROCessvalue?",
    "DIAGnostic<n>:ALC:SETPoint(?)",
    "DIAGnostic<n>:ALC:SOFTware",
    "DIAGnostic<n>:ALC:VERSion?",
    "DIAGnostic<n>:ARBitrary:ANALog:CLOCk?",
    "DIAGnostic<n>:OFFS",
    "DIAGnostic<n>:ALG:ADC1",
    "DIAGnostic<n>:AM:CALibration(?)",
    "DIAGnostic<n>:AM:DEPTh",
    "DIAGnostic<n>:AM:PREWarp",
    "DIAGnostic<n>:AMP:ADC?",
    "DIAGnostic<n>:AMP:AUTO?",
    "DIAGnostic<n>:AMP:COUPling",
    "DIAGnostic<n>:AMP:CURRent",
    "DIAGnostic<n>:AMP:DAC",
    "DIAGnostic<n>:AN:AMPL:CBAK(?)",
    "DIAGnostic<n>:AN:IF:DITH",
    "DIAGnostic<n>:AN:IF:FREQ:A(?)",
    "DIAGnostic<n>:AN:IF:FREQ:B(?)",
    "DIAGnostic<n>:AN:IF:VTUN:A(?)",
    "DIAGnostic<n>:AN:IF:VTUN:B(?)",
    "DIAGnostic<n>:AN:METHod",
    "DIAGnostic<n>:DCM:STAT(?)",
    "DIAGnostic<n>:DCM:FREQ(?)",
    "DIAGnostic<n>:DCM:IF?",
    "DIAGnostic<n>:ATTenuation:DISTribute:SUPPorted",
    "DIAGnostic<n>:ATTenuation:DISTribute",
    "DIAGnostic<n>:ATTenuation(?)",
    "DIAGnostic<n>:ATTenuation<n>(?)",
    "DIAGnostic<n>:AWGN:MODE?",
    "DIAGnostic<n>:AWGN:RATE:DATA(?)",
    "DIAGnostic<n>:AWGN:RATE:NOISe(?)",
    "DIAGnostic<n>:BAND",
    "DIAGnostic<n>:BASeband<n>:LIMit?",
    "DIAGnostic<n>:BATTery?",
    "DIAGnostic<n>:BOARd:POWer(?)",
    "DIAGnostic<n>:BOOT:DELay(?)",
    "DIAGnostic<n>:CALibration(?)",
    "DIAGnostic<n>:CALibration:ALC?",
    "DIAGnostic<n>:CALibration:ATTenuation?",
    "DIAGnostic<n>:CALibration:ATTenuation:MINimum?",
    "DIAGnostic<n>:CALibration:DATE(?)",
    "DIAGnostic<n>:CALibration:ILSVor:READ?",
    "DIAGnostic<n>:CALibration:ILSVor:WRITe",
    "DIAGnostic<n>:CALibration:LOAD",
    "DIAGnostic<n>:CALibration:PE:LIMit?",
    "DIAGnostic<n>:CALibration:READ?",
    "DIAGnostic<n>:CALibration:WRITe",
    "DIAGnostic<n>:CALibration:TRACeable(?)",
    "DIAGnostic<n>:CNTR:BYTEs?",
    "DIAGnostic<n>:CNTR:DDC:STAT(?)",
    "DIAGnostic<n>:CNTR:DDC:PINC(?)",
    "DIAGnostic<n>:CNTR:FILTer(?)",
    "DIAGnostic<n>:CNTR:GATE(?)",
    "DIAGnostic<n>:CNTR:STARt",
    "DIAGnostic<n>:CNTR:STOP",
    "DIAGnostic<n>:CNTR:READ?",
    "DIAGnostic<n>:COMB:ATT(?)",
    "DIAGnostic<n>:COMCheck(?)",
    "DIAGnostic<n>:COMPlete?",
    "DIAGnostic<n>:[CONFiguration]?",
    "DIAGnostic<n>:CRESt:AWGN?",
    "DIAGnostic<n>:CRESt:MANual(?)",
    "DIAGnostic<n>:CRESt:TOTal?",
    "DIAGnostic<n>:DALC:CONDition?",
    "DIAGnostic<n>:DALC:LCC",
    "DIAGnostic<n>:DALC:GAIN",
    "DIAGnostic<n>:DALC:GAIN:AUTO",
    "DIAGnostic<n>:DALC:TIME",
    "DIAGnostic<n>:DDS:CLOCk:CROSsing(?)",
    "DIAGnostic<n>:DDS:CLOCk:DCYC(?)",
    "DIAGnostic<n>:DDS:CLOCk:PHASe(?)",
    "DIAGnostic<n>:DDS:CLOCk:STORe",
    "DIAGnostic<n>:DDS:FSC(?)",
    "DIAGnostic<n>:DDS:FTW(?)",
    "DIAGnostic<n>:DDS:FTW:STEP",
    "DIAGnostic<n>:DDS:OUTPut(?)",
    "DIAGnostic<n>:DDS:REFerence:[FTW]",
    "DIAGnostic<n>:DDS:TUNE",
    "DIAGnostic<n>:DOUBler:ATTenuation?",
    "DIAGnostic<n>:EATTenuator:LINE(?)",
    "DIAGnostic<n>:EATTenuator:[STAge](?)",
    "DIAGnostic<n>:EMTest:SN(?)",
    "DIAGnostic<n>:EMTest:TCS",
    "DIAGnostic<n>:EMTest:TCG?",
    "DIAGnostic<n>:EMTest:TEST",
    "DIAGnostic<n>:EVENt:ARBitrary:IQUNderrun?",
    "DIAGnostic<n>:EVENt:RFControl:LOST?",
    "DIAGnostic<n>:FAN(?)",
    "DIAGnostic<n>:FAN:DAC(?)",
    "DIAGnostic<n>:FAN:TEST(?)",
    "DIAGnostic<n>:FCP:DELay:VALid",
    "DIAGnostic<n>:FCP:DIRection(?)",
    "DIAGnostic<n>:FCP:STReam:OUTPut(?)",
    "DIAGnostic<n>:FCPO8BIT",
    "DIAGnostic<n>:FCPO8BIT:AWM(?)",
    "DIAGnostic<n>:FCPO8BIT:FWM(?)",
    "DIAGnostic<n>:FCPO8BIT:LWM(?)",
    "DIAGnostic<n>:FCPO8BIT:TWM(?)",
    "DIAGnostic<n>:FCPO16BIT",
    "DIAGnostic<n>:FCPO16BIT:AWM",
    "DIAGnostic<n>:FCPO16BIT:FWM",
    "DIAGnostic<n>:FCPO16BIT:TWM",
    "DIAGnostic<n>:FCPO16BIT:LWM",
    "DIAGnostic<n>:FBANd",
    "DIAGnostic<n>:FILTpath(?)",
    "DIAGnostic<n>:FM:CALibrate(?)",
    "DIAGnostic<n>:FM:DISCriminator(?)",
    "DIAGnostic<n>:FN:AMPL:CBAK(?)",
    "DIAGnostic<n>:FN:IF:DITH",
    "DIAGnostic<n>:FN:IF:FREQ:A(?)",
    "DIAGnostic<n>:FN:IF:FREQ:B(?)",
    "DIAGnostic<n>:FN:IF:VTUN:A(?)",
    "DIAGnostic<n>:FN:IF:VTUN:B(?)",
    "DIAGnostic<n>:FN:METHod",
    "DIAGnostic<n>:FPGA:ADCLimits",
    "DIAGnostic<n>:FPGA:BYTes",
    "DIAGnostic<n>:FPGA:CLOCk:SLIP(?)",
    "DIAGnostic<n>:FPGA:COMMands:IMMediate",
    "DIAGnostic<n>:FPGA:JESD?",
    "DIAGnostic<n>:FPGA:LOG(?)",
    "DIAGnostic<n>:FPGA:RESet",
    "DIAGnostic<n>:FPGA:RESet:COUNt?",
    "DIAGnostic<n>:FREQuency:BANDs?",
    "DIAGnostic<n>:FREQuency:BANDs:ALC?",
    "DIAGnostic<n>:FREQuency:BANDs:LIST?",
    "DIAGnostic<n>:FS:CLKS(?)",
    "DIAGnostic<n>:FS:LOG(?)",
    "DIAGnostic<n>:FS:REGister?",
    "DIAGnostic<n>:FS:SSTReam",
    "DIAGnostic<n>:FVST:CAPTure",
    "DIAGnostic<n>:FVST:CONTinuous(?)",
    "DIAGnostic<n>:FVST:DIVider:A(?)",
    "DIAGnostic<n>:FVST:DIVider:B(?)",
    "DIAGnostic<n>:FVST:HYSTeresis(?)",
    "DIAGnostic<n>:FVST:LEVel(?)",
    "DIAGnostic<n>:FVST:LEVel:HIGH(?)",
    "DIAGnostic<n>:FVST:LEVel:LOW(?)",
    "DIAGnostic<n>:FVST:MODE(?)",
    "DIAGnostic<n>:FVST:OFFSet:A(?)",
    "DIAGnostic<n>:FVST:OFFSet:B(?)",
    "DIAGnostic<n>:FVST:SAMPles:A(?)",
    "DIAGnostic<n>:FVST:SAMPles:B(?)",
    "DIAGnostic<n>:FVST:DEMOD:A(?)",
    "DIAGnostic<n>:FVST:DEMOD:B(?)",
    "DIAGnostic<n>:FVST:DEMOD:MONO(?)",
    "DIAGnostic<n>:FVST:TRIGger(?)",
    "DIAGnostic<n>:FVST:READ:A?",
    "DIAGnostic<n>:FVST:READ:B?",
    "DIAGnostic<n>:FW:DATA",
    "DIAGnostic<n>:FW:LOGFile?",
    "DIAGnostic<n>:FW:STATus?",
    "DIAGnostic<n>:FW:UPDate(?)",
    "DIAGnostic<n>:GS:BASeband?",
    "DIAGnostic<n>:GS(?)",
    "DIAGnostic<n>:HC",
    "DIAGnostic<n>:HC:EE:WC?",
    "DIAGnostic<n>:IF:PATH(?)",
    "DIAGnostic<n>:IF:SELect",
    "DIAGnostic<n>:ILS:AM:PREWarp",
    "DIAGnostic<n>:ILS:AM0:CORRection",
    "DIAGnostic<n>:ILS:AM1:CORRection",
    "DIAGnostic<n>:ILS:CLOCk?",
    "DIAGnostic<n>:IO:CLEar(?)",
    "DIAGnostic<n>:IO:PHSTatus?",
    "DIAGnostic<n>:IO:RESet?",
    "DIAGnostic<n>:IO:SET",
    "DIAGnostic<n>:IOUPdate",
    "DIAGnostic<n>:IS:FREQ",
    "DIAGnostic<n>:LED:ERRor",
    "DIAGnostic<n>:LED:OFF",
    "DIAGnostic<n>:LED:ON",
    "DIAGnostic<n>:LED:READy",
    "DIAGnostic<n>:LED:REMote",
    "DIAGnostic<n>:LIST:CMD",
    "DIAGnostic<n>:LUT:TEST",
    "DIAGnostic<n>:LUT:READ?",
    "DIAGnostic<n>:LUT:WRITe",
    "DIAGnostic<n>:MEMory?",
    "DIAGnostic<n>:MF<n>:OUTPut:DIAGnostic:SOURce(?)",
    "DIAGnostic<n>:MF<n>:OUTPut:SOURce(?)",
    "DIAGnostic<n>:MF<n>",
    "DIAGnostic<n>:MODulation?",
    "DIAGnostic<n>:MODulation:ACDC",
    "DIAGnostic<n>:MODulation:ADC?",
    "DIAGnostic<n>:MODulation:AM?",
    "DIAGnostic<n>:MODulation:FM?",
    "DIAGnostic<n>:MODulation:IQ:ARBitrary(?)",
    "DIAGnostic<n>:MODulation:IQ:CIQ:STATe(?)",
    "DIAGnostic<n>:MODulation:IQ:CIQ:I(?)",
    "DIAGnostic<n>:MODulation:IQ:CIQ:Q(?)",
    "DIAGnostic<n>:MODulation:IQ:CIQ:ANGLe(?)",
    "DIAGnostic<n>:MODulation:IQ:CIQ:AMPLitude(?)",
    "DIAGnostic<n>:MODulation:IQ:DATA",
    "DIAGnostic<n>:MODulation:IQ:IMMBlank(?)",
    "DIAGnostic<n>:MODulation:IQ:MONitor:READ?",
    "DIAGnostic<n>:MODulation:IQ:MONitor:STARt",
    "DIAGnostic<n>:MODulation:IQ:OFFSet(?)",
    "DIAGnostic<n>:MODulation:IQ:PATH?",
    "DIAGnostic<n>:MODulation:IQ:PHASe(?)",
    "DIAGnostic<n>:MODulation:IQ:PREscaler(?)",
    "DIAGnostic<n>:MODulation:IQ:RATE(?)",
    "DIAGnostic<n>:MODulation:IQ:SOURce(?)",
    "DIAGnostic<n>:MODulation:IQ:STATe(?)",
    "DIAGnostic<n>:MODulation:OFFSet",
    "DIAGnostic<n>:MODulation:PM?",
    "DIAGnostic<n>:MODulation:PULM:PWREsolution?",
    "DIAGnostic<n>:MODulation:PULM?",
    "DIAGnostic<n>:NETLog?",
    "DIAGnostic<n>:PDW:COUNt?",
    "DIAGnostic<n>:PDW:DATA:ACTive?",
    "DIAGnostic<n>:PDW:DATA:DEFault",
    "DIAGnostic<n>:PDW:DATA:PRELoad?",
    "DIAGnostic<n>:PDW:LIST:IDX?",
    "DIAGnostic<n>:PHASe(?)",
    "DIAGnostic<n>:PHASe:ADC?",
    "DIAGnostic<n>:PHASe:ALIgn",
    "DIAGnostic<n>:PHASe:MODE(?)",
    "DIAGnostic<n>:PHASe:SLIP",
    "DIAGnostic<n>:PHS?",
    "DIAGnostic<n>:PLL:CP",
    "DIAGnostic<n>:PLL:FREQuency(?)",
    "DIAGnostic<n>:PLL:LOOPfilter",
    "DIAGnostic<n>:PLL:IDIVider(?)",
    "DIAGnostic<n>:PLL:NDIVider(?)",
    "DIAGnostic<n>:PLL:MDIVider?",
    "DIAGnostic<n>:PLL:RDIVider?",
    "DIAGnostic<n>:PN:ASET(?)",
    "DIAGnostic<n>:PN:PREAmp(?)",
    "DIAGnostic<n>:PN:FD:CHANnel(?)",
    "DIAGnostic<n>:PN:FD:STAGes(?)",
    "DIAGnostic<n>:PN:FD<n>:CORRelations(?)",
    "DIAGnostic<n>:PN:FD<n>:SAMPles(?)",
    "DIAGnostic<n>:PN:IF(?)",
    "DIAGnostic<n>:PN:IF:MEAS:TIME?",
    "DIAGnostic<n>:PN:IF:MEAS:TIME:LTIM?",
    "DIAGnostic<n>:PN:IF:MEAS:LTIM?",
    "DIAGnostic<n>:PN:LOCK:TIME",
    "DIAGnostic<n>:PN:LOOP:CORRection:K1",
    "DIAGnostic<n>:PN:LOOP:CORRection:K2",
    "DIAGnostic<n>:PN:LOOP:CAPacity",
    "DIAGnostic<n>:PN:LOOP:CAPacity:LIST?",
    "DIAGnostic<n>:PN:LOOP:C",
    "DIAGnostic<n>:PN:LOOP:R1",
    "DIAGnostic<n>:PN:LOOP:R2",
    "DIAGnostic<n>:PN:LOOP:R3",
    "DIAGnostic<n>:PN:MEAS:INFO?",
    "DIAGnostic<n>:PN:MEAS:FTIM?",
    "DIAGnostic<n>:PN:MEAS:TIME?",
    "DIAGnostic<n>:PN:MEAS:TIME:LTIM?",
    "DIAGnostic<n>:PN:MEAS:LTIM?",
    "DIAGnostic<n>:PN:MIXer?",
    "DIAGnostic<n>:PN:MODE(?)",
    "DIAGnostic<n>:PN:PD?",
    "DIAGnostic<n>:PN:PLOT",
    "DIAGnostic<n>:PN:SENSitivity",
    "DIAGnostic<n>:PN:VCO:HIGHsensitivity:SENSitivity(?)",
    "DIAGnostic<n>:PN:VCO:LOWNoise:SENSitivity(?)",
    "DIAGnostic<n>:PN:VCO:NORMal:SENSitivity(?)",
    "DIAGnostic<n>:PN:VCO:SENSitivity(?)",
    "DIAGnostic<n>:PN:VTUNe?",
    "DIAGnostic<n>:POWer:MAXimum",
    "DIAGnostic<n>:POWer:MINimum",
    "DIAGnostic<n>:POWer:TRANsition?",
    "DIAGnostic<n>:PREAmplifier(?)",
    "DIAGnostic<n>:PREAmplifier<n>(?)",
    "DIAGnostic<n>:PREThreshold(?)",
    "DIAGnostic<n>:PRINT:TOLM:PATH",
    "DIAGnostic<n>:RAMCheck?",
    "DIAGnostic<n>:RFControl(?)",
    "DIAGnostic<n>:RFControl:BLANk:ENABle(?)",
    "DIAGnostic<n>:REFerence:ADC:PD?",
    "DIAGnostic<n>:REFerence:ADC:VTUN?",
    "DIAGnostic<n>:REFerence:ATTuenation(?)",
    "DIAGnostic<n>:RESet",
    "DIAGnostic<n>:RESet:SCOPe",
    "DIAGnostic<n>:ROSCillator:TUNE(?)",
    "DIAGnostic<n>:SLEep(?)",
    "DIAGnostic<n>:SN(?)",
    "DIAGnostic<n>:SPEC:BUF1?",
    "DIAGnostic<n>:SPEC:BUF1:BUF2:CALibration(?)",
    "DIAGnostic<n>:SPEC:BUF1:BUF2:FLO1(?)",
    "DIAGnostic<n>:SPEC:BUF1:BUF2:FLO2(?)",
    "DIAGnostic<n>:SPEC:BUF1:BUF2:PATH(?)",
    "DIAGnostic<n>:SPEC:BUF1:CALibration(?)",
    "DIAGnostic<n>:SPEC:BUF1:FLO1(?)",
    "DIAGnostic<n>:SPEC:BUF1:FLO2(?)",
    "DIAGnostic<n>:SPEC:BUF1:PATH(?)",
    "DIAGnostic<n>:SPEC:BUF2?",
    "DIAGnostic<n>:SPEC:BUF2:CALibration(?)",
    "DIAGnostic<n>:SPEC:BUF2:FLO1(?)",
    "DIAGnostic<n>:SPEC:BUF2:FLO2(?)",
    "DIAGnostic<n>:SPEC:BUF2:PATH(?)",
    "DIAGnostic<n>:SPEC:CALibration(?)",
    "DIAGnostic<n>:SPEC:FREQency:OFFSet",
    "DIAGnostic<n>:SPEC:FLO1(?)",
    "DIAGnostic<n>:SPEC:FLO2(?)",
    "DIAGnostic<n>:SPEC:PATH(?)",
    "DIAGnostic<n>:SPI1:CSDelay",
    "DIAGnostic<n>:SPI1:DIVider",
    "DIAGnostic<n>:STATus<n>?",
    "DIAGnostic<n>:SUPPly<n>:CURRent:ADC?",
    "DIAGnostic<n>:SUPPly<n>:VOLTage:DAC",
    "DIAGnostic<n>:TAX",
    "DIAGnostic<n>:TEMPerature:CONTroller?",
    "DIAGnostic<n>:TEMPerature:FPGA?",
    "DIAGnostic<n>:TEMPerature:ISA?",
    "DIAGnostic<n>:TEMPerature:ISB?",
    "DIAGnostic<n>:TEMPerature:ALL?",
    "DIAGnostic<n>:TEMPerature:ALL:NAME?",
    "DIAGnostic<n>:TEMPerature:CALibration(?)",
    "DIAGnostic<n>:TEMPerature:NCAL?",
    "DIAGnostic<n>:TEMPerature?",
    "DIAGnostic<n>:TEST",
    "DIAGnostic<n>:TEST:DH(?)",
    "DIAGnostic<n>:TEST:FIR",
    "DIAGnostic<n>:TEST:FPGA",
    "DIAGnostic<n>:TEST:IS",
    "DIAGnostic<n>:TEST:IS:EXEC",
    "DIAGnostic<n>:TEST:MATH",
    "DIAGnostic<n>:TEST:PARSer:OUT",
    "DIAGnostic<n>:TEST:PARSer:REFerence",
    "DIAGnostic<n>:TEST:PARSer:DDS",
    "DIAGnostic<n>:TEST:PARSer:CONTtroller",
    "DIAGnostic<n>:TEST:REF",
    "DIAGnostic<n>:TEST:REPort?",
    "DIAGnostic<n>:TEST:SINE",
    "DIAGnostic<n>:TRAN:COUPling",
    "DIAGnostic<n>:TRIGger:MASTer(?)",
    "DIAGnostic<n>:TRIGger:MASTer:SOURce(?)",
    "DIAGnostic<n>:TRIGger:SLAVe:PHASe?",
    "DIAGnostic<n>:TRIGger:SLAVe:POLarity",
    "DIAGnostic<n>:TRIGger:SLAVe:POLYphase?",
    "DIAGnostic<n>:TRIGger:SLAVe:SYNChronize?",
    "DIAGnostic<n>:TRIGger:SLAVe:STARt",
    "DIAGnostic<n>:UTRigger:POLarity(?)",
    "DIAGnostic<n>:UTRigger:PWIDth(?)",
    "DIAGnostic<n>:UTRigger",
    "DIAGnostic<n>:VCO:CALibrate?",
    "DIAGnostic<n>:VCO:CALibrate:COMPlete?",
    "DIAGnostic<n>:VCO:CALibrate:STOP",
    "DIAGnostic<n>:VCO:CALibrate:SUCCess?",
    "DIAGnostic<n>:VCO:CONFigure",
    "DIAGnostic<n>:VCO:CONFigure:ADC?",
    "DIAGnostic<n>:VCO:CONFigure:APPly",
    "DIAGnostic<n>:VCO:CONFigure:BAND(?)",
    "DIAGnostic<n>:VCO:CONFigure:BIAS(?)",
    "DIAGnostic<n>:VCO:CONFigure:CORE(?)",
    "DIAGnostic<n>:VCO:CONFigure:FREQuency(?)",
    "DIAGnostic<n>:VCO:CONFigure:POWer(?)",
    "DIAGnostic<n>:VCO:CONFigure:READ",
    "DIAGnostic<n>:VCO:INST",
    "DIAGnostic<n>:VCO:POWer(?)",
    "DIAGnostic<n>:VCO:TEST:HIGH",
    "DIAGnostic<n>:VCO:TUNE:DELay(?)",
    "DIAGnostic<n>:VOR:AM:PREWarp",
    "DIAGnostic<n>:VOR:AM0:CORRection",
    "DIAGnostic<n>:VOR:AM1:CORRection",
    "DIAGnostic<n>:VOR:BEARing:CORRection:PHASe",
    "DIAGnostic<n>:VOR:BEARing:CORRection:WEIGht",
    "DIAGnostic<n>:VOR:CLOCk?",
    "DIAGnostic<n>:VOUT:POSitive",
    "DIAGnostic<n>:VOUT:NEGative",
    "DIAGnostic<n>:VOUT:VPOSitive",
    "DIAGnostic<n>:VOUT:VNEGative",
    "DIAGnostic<n>:VVA:B3B4",
    "DIAGnostic<n>:VVA:IN",
    "DIAGnostic<n>:VVA:LIMit(?)",
    "DIAGnostic<n>:VVA:SENSitivity(?)",
    "DIAGnostic<n>:LMX:POWer",
    "DIAGnostic<n>:LMX:VTUNe?",
    "DIAGnostic<n>:LOCKhelper:VOLTage",
    "DIAGnostic<n>:LOCKhelper:SLOPe",
    "DIAGnostic<n>:LOCKhelper:TIME:DOWN",
    "DIAGnostic<n>:LOCKhelper:TIME:RAMP",
    "DIAGnostic<n>:LOCKhelper:TIME:DEL",
    "DIAGnostic<n>:MUX:DIVider",
};

std::string readFile(const std::string &path) {
    std::string text;
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

std::set<std::string> lines(const std::string &text) {
    std::set<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.insert(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

TEST(CommandSetListing, EveryDocumentedHeaderIsListed) {
    char dir[] = "/tmp/kr_cmdset_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    krpath_setRoot(dir);
    std::string ram = std::string(dir) + "/media";
    mkdir(ram.c_str(), 0777);
    ram += "/ram";
    mkdir(ram.c_str(), 0777);
    ASSERT_EQ(scpi_analize_listAllCommands(scpi_rootNodes, "/media/ram/"), 0);
    std::string supported = readFile(ram + "/SCPI_Commands.txt");
    std::string unsupported = readFile(ram + "/SCPI_Not_Supp_Commands.txt");
    std::set<std::string> listed = lines(supported + unsupported);
    EXPECT_GT(listed.size(), 5000u) << "the trace selectors alone give some four thousand";
    size_t count = 0;
    for (const char *header : documentedHeaders) {
        EXPECT_TRUE(listed.count(header)) << header;
        count++;
    }
    EXPECT_GE(count, 150u);
    // Leaves without a filled device operation are reported apart.
    EXPECT_TRUE(lines(unsupported).count("DIAGnostic<n>:TEMPerature:ISA?"));
    EXPECT_TRUE(lines(supported).count("*IDN?"));
    // Each header is listed once, whichever file it went to.
    EXPECT_EQ(lines(supported).size() + lines(unsupported).size(), listed.size() + 0u);
    std::string cmd = std::string("rm -rf ") + dir;
    EXPECT_EQ(system(cmd.c_str()), 0);
    krpath_setRoot(nullptr);
}

// ---- Matching -------------------------------------------------------------------------------

std::vector<std::string> calls;
void record(const char *format, long long v) {
    char buf[96];
    snprintf(buf, sizeof(buf), format, v);
    calls.push_back(buf);
}

// Puts a function in a slot for the lifetime of the guard.
template <class F>
struct SlotGuard {
    SlotGuard(F *slot, F fn) : slot(slot), saved(*slot) { *slot = fn; }
    ~SlotGuard() { *slot = saved; }
    F *slot;
    F saved;
};
template <class F>
SlotGuard<F> hook(F *slot, F fn) {
    return SlotGuard<F>(slot, fn);
}

uint32_t manualPoint = 5;
uint32_t listCountMax = 9999;

class CommandSetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        calls.clear();
        manualPoint = 5;
        link = h.addLink(1024, 4096);
        panel = h.addLink(1024, 4096, "HC Front Panel");
    }

    // One program message through the parser, unit by unit as the executor splits it.
    std::string message(ScpiLink *l, const std::string &text, std::vector<int> *errors) {
        std::string answer = h.transact(l, text + "\n", true);
        *errors = h.errors();
        return answer;
    }

    LinkHarness h;
    ScpiLink *link = nullptr;
    ScpiLink *panel = nullptr;

    // Recorders for the slots the rows below reach.
    decltype(hook(&Device_setSourceIndex, Device_setSourceIndex)) g1 = hook(
        &Device_setSourceIndex, +[](Device *, int32_t i) {
            record("src(%lld)", i);
            return 0;
        });
    decltype(hook(&Device_setOutputIndex, Device_setOutputIndex)) g2 = hook(
        &Device_setOutputIndex, +[](Device *, int32_t i) {
            record("out(%lld)", i);
            return 0;
        });
    decltype(hook(&Device_setMemoryIndex, Device_setMemoryIndex)) g3 = hook(
        &Device_setMemoryIndex, +[](Device *, int32_t i) {
            record("mem(%lld)", i);
            return 0;
        });
    decltype(hook(&Device_setFrequencyFixed, Device_setFrequencyFixed)) g4 = hook(
        &Device_setFrequencyFixed, +[](Device *, const KrFreq *f) {
            record("freq(%lld)", (long long)f->integer);
            return 0;
        });
    decltype(hook(&Device_setFrequencyModeFixed, Device_setFrequencyModeFixed)) g5 = hook(
        &Device_setFrequencyModeFixed, +[](Device *) {
            record("modeFixed%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_enableRf, Device_enableRf)) g6 = hook(
        &Device_enableRf, +[](Device *) {
            record("rfOn%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_triggerKey, Device_triggerKey)) g7 = hook(
        &Device_triggerKey, +[](Device *) {
            record("key%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_setListCount, Device_setListCount)) g8 = hook(
        &Device_setListCount, +[](Device *, uint32_t n) {
            record("listCount(%lld)", n);
            return 0;
        });
    decltype(hook(&Device_getListSweepCountMax, Device_getListSweepCountMax)) g9 = hook(
        &Device_getListSweepCountMax, +[](Device *) { return listCountMax; });
    decltype(hook(&Device_getListManualPoint, Device_getListManualPoint)) g10 = hook(
        &Device_getListManualPoint, +[](Device *) { return manualPoint; });
    decltype(hook(&Device_getListManualPointMax, Device_getListManualPointMax)) g10b = hook(
        &Device_getListManualPointMax, +[](Device *) { return (uint32_t)10; });
    decltype(hook(&Device_setListManualPoint, Device_setListManualPoint)) g11 = hook(
        &Device_setListManualPoint, +[](Device *, uint32_t n) {
            record("manual(%lld)", n);
            manualPoint = n;
            return 0;
        });
    decltype(hook(&Device_doAlcSearchOnce, Device_doAlcSearchOnce)) g12 = hook(
        &Device_doAlcSearchOnce, +[](Device *) {
            record("searchOnce%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_enableAlcSearch, Device_enableAlcSearch)) g13 = hook(
        &Device_enableAlcSearch, +[](Device *) {
            record("searchOn%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_setTriggerSourceExternal, Device_setTriggerSourceExternal)) g14 = hook(
        &Device_setTriggerSourceExternal, +[](Device *) {
            record("trigExt%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_setAlcDac, Device_setAlcDac)) g15 = hook(
        &Device_setAlcDac, +[](Device *, uint32_t v) {
            record("alcdac(%lld)", v);
            return 0;
        });
    decltype(hook(&Automeasure_calculateAVariance, Automeasure_calculateAVariance)) g16 = hook(
        &Automeasure_calculateAVariance, +[](Device *) {
            record("avar%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_enableAm, Device_enableAm)) g19 = hook(
        &Device_enableAm, +[](Device *) {
            record("amOn%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_setPulmSourceBitstream, Device_setPulmSourceBitstream)) g20 = hook(
        &Device_setPulmSourceBitstream, +[](Device *) {
            record("pulmBitstream%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_setPulmSourceExternal, Device_setPulmSourceExternal)) g21 = hook(
        &Device_setPulmSourceExternal, +[](Device *) {
            record("pulmExternal%.0lld", 0);
            return 0;
        });
    decltype(hook(&Device_setPowerFixed, Device_setPowerFixed)) g17 = hook(
        &Device_setPowerFixed, +[](Device *, const KrPow *p) {
            record("pow(%lld)", (long long)*p);
            return 0;
        });
    decltype(hook(&Device_triggerImmediate, Device_triggerImmediate)) g18 = hook(
        &Device_triggerImmediate, +[](Device *) {
            record("trigger%.0lld", 0);
            return 0;
        });
};

struct UnitRow {
    const char *message;
    const char *calls;  // recorded device calls, blank-separated
    int error;          // first queued error, 0 for none
};

std::string joined() {
    std::string s;
    for (const std::string &c : calls)
        s += (s.empty() ? "" : " ") + c;
    return s;
}

class CommandSetRows : public CommandSetTest, public ::testing::WithParamInterface<UnitRow> {};

TEST_P(CommandSetRows, ReachesItsDeviceOperations) {
    const UnitRow &row = GetParam();
    std::vector<int> errors;
    message(link, row.message, &errors);
    EXPECT_EQ(joined(), row.calls) << row.message;
    EXPECT_EQ(errors.empty() ? 0 : errors.front(), row.error) << row.message;
}

constexpr const char *any = "src(2147483647)";

INSTANTIATE_TEST_SUITE_P(
    Paths, CommandSetRows,
    ::testing::Values(
        // The path is remembered: MODE is a sibling of CW below FREQuency, and the channel is
        // selected again for the following unit.
        UnitRow{"SOUR:FREQ:CW 1GHz;MODE CW",
                "src(2147483647) freq(1000000000) src(2147483647) modeFixed", 0},
        UnitRow{"SOUR2:FREQ:CW 2GHz;MODE FIX", "src(2) freq(2000000000) src(2) modeFixed", 0},
        // The implied branch and the optional leaf.
        UnitRow{"FREQ 1GHz", "src(2147483647) freq(1000000000)", 0},
        UnitRow{"frequency:cw 5 MHz", "src(2147483647) freq(5000000)", 0},
        // The suffix selects the channel before the children match.
        UnitRow{"SOUR2:FREQ 1GHz", "src(2) freq(1000000000)", 0},
        UnitRow{"SOURce3:POWer:LEVel:IMMediate:AMPLitude -7", "src(3) pow(-7)", 0},
        UnitRow{"POW 3", "src(2147483647) pow(3)", 0}, UnitRow{"OUTP2 ON", "out(2) rfOn", 0},
        UnitRow{"OUTP:STAT 1", "out(2147483647) rfOn", 0}, UnitRow{"MEM4", "mem(4)", 0},
        // Value keywords of typed leaves.
        UnitRow{"LIST:COUN INF", "src(2147483647) listCount(9999)", 0},
        UnitRow{"LIST:COUN 12", "src(2147483647) listCount(12)", 0},
        UnitRow{"LIST:MAN UP", "src(2147483647) manual(6)", 0},
        UnitRow{"LIST:MAN DOWN", "src(2147483647) manual(4)", 0},
        UnitRow{"POW:ALC:SEAR ONCE", "src(2147483647) searchOnce", 0},
        UnitRow{"POW:ALC:SEAR ON", "src(2147483647) searchOn", 0},
        UnitRow{"LIST:COUN SOMETIMES", "src(2147483647)", KR_E_ILLEGAL_PARAMETER_VALUE},
        // Enumerations and the second root set.
        UnitRow{"TRIG:SOUR EXT", "src(2147483647) trigExt", 0},
        UnitRow{"TRIG:SEQ:SOUR EXTernal", "src(2147483647) trigExt", 0},
        UnitRow{"TRIG:SOUR NONE", "src(2147483647)", KR_E_ILLEGAL_PARAMETER_VALUE},
        UnitRow{"*TRG", "trigger", 0}, UnitRow{"TRIG", "src(2147483647) trigger", 0},
        // Legacy words: whole words only.
        UnitRow{"alcdac=17", "src(2147483647) alcdac(17)", 0},
        UnitRow{"alcdacx=17", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        // Trace selectors in their order; AVARiance as a set computes.
        UnitRow{"CALC:AN:FN:PN:TRAC:AVAR", "avar", 0},
        UnitRow{"CALC:PN:TRAC:NOIS:SPUR:POW:FREQ:AVAR", "avar", 0},
        UnitRow{"CALC:PN:TRAC:TAU:NOIS?", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        // Modulation leaves reach the modulation slots by their names.
        UnitRow{"AM:STAT ON", "src(2147483647) amOn", 0},
        UnitRow{"SOUR2:PULM:SOUR BITS", "src(2) pulmBitstream", 0},
        UnitRow{"PULM:SOUR EXT", "src(2147483647) pulmExternal", 0},
        // Errors.
        UnitRow{"*IDN? 1", "", KR_E_PARAMETER_NOT_ALLOWED},
        UnitRow{"SOUR:FOO 1", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        UnitRow{"NOSUCH:HEADER", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        UnitRow{"FREQ:EXAC 1GHz", "src(2147483647)", KR_E_UNDEFINED_HEADER}));

struct AnswerRow {
    const char *name;
    const char *message;
    const char *answer;
    int error;  // 0: none queued
};

class CommandSetAnswers : public CommandSetTest, public ::testing::WithParamInterface<AnswerRow> {};

// Typed leaves over unfilled slots answer their zero; a pending leaf, which no module of this
// instrument kind has, queues -113 instead of making an answer up.
TEST_P(CommandSetAnswers, AnswersOrQueuesAnError) {
    std::vector<int> errors;
    EXPECT_EQ(message(link, GetParam().message, &errors), GetParam().answer);
    EXPECT_EQ(errors, GetParam().error ? std::vector<int>{GetParam().error} : std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(
    Queries, CommandSetAnswers,
    ::testing::Values(AnswerRow{"StatusRegister", "STAT:OPER:COND?", "0\n", 0},
                      AnswerRow{"PendingMeasurement", "SENS:PN:REF2?", "", KR_E_UNDEFINED_HEADER},
                      AnswerRow{"PendingDiagnostic", "DIAG3:TEMP:ISA?", "", KR_E_UNDEFINED_HEADER},
                      AnswerRow{"PendingTrace", "CALC:PN:TRAC:NOIS:SPUR:POW:FREQ:TAU?", "",
                                KR_E_UNDEFINED_HEADER},
                      AnswerRow{"ManualListIndex", "LIST:MAN?", "5\n", 0},
                      AnswerRow{"WaitThenComplete", "*WAI;*OPC?", "1\n", 0}),
    [](const ::testing::TestParamInfo<AnswerRow> &info) { return std::string(info.param.name); });

// The level control bandwidth is HIGH whenever the device does not report it low.
TEST_F(CommandSetTest, BandwidthAnswersHighWhenNotLow) {
    static int low = 0;
    auto is = hook(
        &Device_isAlcBandwidthLow, +[](Device *) { return low; });
    std::vector<int> errors;
    low = 1;
    EXPECT_EQ(message(link, "POW:ALC:BAND?", &errors), "LOW\n");
    low = 0;
    EXPECT_EQ(message(link, "POW:ALC:BWID?", &errors), "HIGH\n");
    EXPECT_TRUE(errors.empty());
}

TEST_F(CommandSetTest, DiagnosticSuffixSelectsTheChannel) {
    std::vector<int> errors;
    message(link, "DIAG3:TEMP:ISA?", &errors);
    EXPECT_EQ(joined(), "src(3)");
}

// A module that takes over the unspecified leaves gets the keyword, form and parameters.
TEST_F(CommandSetTest, UnspecifiedLeavesReachTheGenericOperation) {
    auto guard = hook(
        &Device_runCommandLeaf,
        +[](Device *, const char *keyword, int query, char *params, char *out, int32_t size) {
            calls.push_back(std::string(keyword) + (query ? "?" : " ") + params);
            return query ? snprintf(out, (size_t)size, "42") : 0;
        });
    std::vector<int> errors;
    EXPECT_EQ(message(link, "SOUR:AM:HPASs 30", &errors), "");
    EXPECT_EQ(message(link, "DIAG:TEMP:ISA?", &errors), "42\n");
    EXPECT_EQ(joined(), "src(2147483647) HPASs 30 src(2147483647) ISA?");
    EXPECT_TRUE(errors.empty());
}

// List files travel as block data to and from the path the device names.
TEST_F(CommandSetTest, ListFilesAsBlockData) {
    char dir[] = "/tmp/kr_cmdlist_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    krpath_setRoot(dir);
    mkdir((std::string(dir) + "/korvane").c_str(), 0777);
    auto path = hook(
        &Device_getListAbsolutePath, +[](Device *, const char *name) -> const char * {
            static std::string file;
            if (strchr(name, '/')) return nullptr;  // the device keeps names inside its directory
            file = std::string("/korvane/") + name;
            return file.c_str();
        });
    auto remove = hook(
        &Device_deleteList, +[](Device *, const char *name) {
            calls.push_back(std::string("delete(") + (name ? name : "ALL") + ")");
            return 0;
        });
    std::vector<int> errors;
    EXPECT_EQ(message(link, "MEM:FILE:LIST:WRIT 'one',#15hello*OPC?", &errors), "1\n");
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(std::string(dir) + "/korvane/one"), "hello");
    // The block is a response unit: what follows it in the message comes after it.
    EXPECT_EQ(message(link, "*OPC?;MEM:FILE:LIST:READ? 'one';*OPC?", &errors), "1;#15hello;1\n");
    EXPECT_EQ(message(link, "MEM:FILE:LIST:DATA \"two\",#13abc*OPC?", &errors), "1\n");
    EXPECT_EQ(message(link, "MEM:FILE:LIST:DATA? 'two'", &errors), "#13abc\n");
    EXPECT_TRUE(errors.empty());
    // A name the device refuses still has its block consumed.
    EXPECT_EQ(message(link, "MEM:FILE:LIST:WRIT '../x',#13abc*OPC?", &errors), "1\n");
    EXPECT_EQ(errors, std::vector<int>{KR_E_ILLEGAL_PARAMETER_VALUE});
    calls.clear();
    message(link, "MEM2:FILE:LIST:DEL ALL;DEL 'one'", &errors);
    EXPECT_EQ(joined(), "mem(2) delete(ALL) mem(2) delete(one)");
    std::string cmd = std::string("rm -rf ") + dir;
    EXPECT_EQ(system(cmd.c_str()), 0);
    krpath_setRoot(nullptr);
}

TEST_F(CommandSetTest, KeyTriggerOnlyFromTheFrontPanel) {
    std::vector<int> errors;
    message(link, "TRIG:KEY", &errors);
    EXPECT_EQ(joined(), any) << "dropped from another link";
    EXPECT_TRUE(errors.empty()) << "and without an error";
    calls.clear();
    message(panel, "TRIG:KEY", &errors);
    EXPECT_EQ(joined(), "src(2147483647) key");
    EXPECT_TRUE(errors.empty());
}

TEST_F(CommandSetTest, IdentificationAndOptions) {
    std::vector<int> errors;
    std::string idn = message(link, "*IDN?", &errors);
    EXPECT_EQ(idn, krtest::identification() + "\n");
    EXPECT_TRUE(errors.empty());
    std::string opt = message(link, "*OPT?", &errors);
    EXPECT_FALSE(opt.empty());
    EXPECT_TRUE(errors.empty());
}

}  // namespace
