#include "jobbase/errmsg.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "jobbase/htmlrep.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;
using runtime::write_record;

namespace {

// Fat: fatal, reported with the group line; FatNoGrp: fatal without it;
// Warn: the report is given and the caller goes on.
enum class Kind { Fat, FatNoGrp, Warn };

struct Errdef {
  int code;
  Kind kind;
  std::array<const char*, 8> lines;  // message records; unused entries are null
};

constexpr int kMaxCode = 232;

// The message of every error code, one entry per code 1..232 in order.
constexpr Errdef kErrors[kMaxCode] = {
    {1, Kind::Fat, {" First input line after title must be DATA", " Maybe, just MAYBE, you got your NG wrong"}},
    {2, Kind::Fat, {" Data line must have NI and NO specified"}},
    {3, Kind::Fat, {" End of file while trying to read title"}},
    {4, Kind::Fat, {" Must specify MATrices at this point", " Perhaps you have the wrong NI or the wrong matrix type - SY instead of FU?"}},
    {5, Kind::Fat, {" Not a legal matrix name.  Use A-Z, one letter only"}},
    {6, Kind::Fat, {" Illegal matrix type.  ", " You may use ZE, ID, IZ, ZI, DI, SD, SY, ST, FU, UN or LO"}},
    {7, Kind::Fat, {" Sorry, I seem to be at the end of your input file.  Check NG is correct"}},
    {8, Kind::Fat, {" Number of selected variables must be less than or", " equal to the number of input variables (NI)"}},
    {9, Kind::Fat, {" Error - no variables selected for analysis"}},
    {10, Kind::Fat, {" Terribly sorry, I don't have enough workspace"}},
    {11, Kind::Fat, {" Please try not to refer to matrices that you haven't specified"}},
    {12, Kind::Fat, {" Please use only PATTERN or SPECIFICATION throughout"}},
    {13, Kind::Fat, {" Error - no matrix specified"}},
    {14, Kind::Fat, {" More than 3 dimensions specified"}},
    {15, Kind::FatNoGrp, {" Error - Matrix has not been specified"}},
    {16, Kind::Fat, {" Matrix has been specified not to have free elements"}},
    {17, Kind::Fat, {" You cannot alter off-diagonal elements of a diagonal matrix"}},
    {18, Kind::Fat, {" Incorrect element of a SUbdiagonal matrix specified"}},
    {19, Kind::Fat, {" Incorrect element of a STandardized matrix specified"}},
    {20, Kind::Fat, {" Please use 2 or 3 dimensional format for elements"}},
    {21, Kind::Fat, {" Sorry, I can't find your matrix element"}},
    {22, Kind::Warn, {" I'm sorry, I don't understand this part of DATA line, so I'm ignoring it"}},
    {23, Kind::Fat, {" Sorry, I couldn't invert your expected matrix"}},
    {24, Kind::Fat, {" Sorry, I couldn't invert your asymptotic matrix"}},
    {25, Kind::Fat, {" Strangely, you seem to have requested an unknown matrix operation"}},
    {26, Kind::Fat, {" Sorry, your model matrix has different dimensions from your data matrix"}},
    {27, Kind::Fat, {" Sorry, your expected matrix is not symmetric"}},
    {28, Kind::Fat, {" **Sorry, you must have symmetric or full model**"}},
    {29, Kind::Fat, {" Please try not to specify inverse for non-square matrices."}},
    {30, Kind::Fat, {" Sorry, had trouble transposing a matrix"}},
    {31, Kind::Fat, {" Sorry, I couldn't find the determinant of a matrix"}},
    {32, Kind::Fat, {" Uh-oh... there's a problem with a binary operator"}},
    {33, Kind::Fat, {" Sorry, the matrix addition screwed up"}},
    {34, Kind::Fat, {" The matrices you wish to add are not conformable for addition", " i.e. the number of rows (columns) in matrix 1 is not the same", " as the number of rows (columns) in matrix 2"}},
    {35, Kind::Fat, {" The matrices you wish to multiply are not conformable for multiplication", " i.e. the number of columns in matrix 1 is not the same as thenumber of rows in matrix 2"}},
    {36, Kind::Fat, {" You seem to have an unknown matrix type"}},
    {37, Kind::Fat, {" I seem to be using an unknown fit function"}},
    {38, Kind::Fat, {" You must specify 3 numbers for boundary constraints", " Lower bound, Upper bound, Parameter # or array   element"}},
    {39, Kind::FatNoGrp, {" First character after Boundary or Drop must be alphanumeric"}},
    {40, Kind::Fat, {" Sorry, to request AWLS for this group, you should have input an asymptotic covariance matrix"}},
    {41, Kind::FatNoGrp, {" I don't know to what you want me to equate this matrix"}},
    {42, Kind::Fat, {" Sorry, I can't make this matrix equal to a matrix that you ", " haven't supplied yet"}},
    {43, Kind::Fat, {" Uh-oh... I got stuck inverting a matrix while calculating the expected matrix.", " If you are using an (I-B)~ formulation, make sure that  the parameters in B do NOT", " have bounds +1 or -1", " This error is a pain in the neck.  If you get it a lot, let me know"}},
    {44, Kind::Fat, {" Uh-oh... I'm having trouble reading a number in D or E format"}},
    {45, Kind::Fat, {" Sorry - could you put the =filename on the same line  as the FI, please?"}},
    {46, Kind::Fat, {" Awfully sorry, I couldn't open a file for you"}},
    {47, Kind::Fat, {" I deeply regret that your equality constraint refers to a  non-existent matrix."}},
    {48, Kind::FatNoGrp, {" OH NO!  The IOP parameter calling MSOFAR is wrong "}},
    {49, Kind::Fat, {" Please don't mix parameter number and array references like", " 23 7 A 1 1 in a list of elements.  Stick to one type.", " I just get so terribly confused."}},
    {50, Kind::Fat, {" There I was, looking for a number and - blow me down -", " I just could not find it. "}},
    {51, Kind::Fat, {" It seems rather strange to me to have a + or - sign without a number after it"}},
    {52, Kind::Fat, {" You seemed to put a * in the middle of two numbers but WRONGLY."}},
    {53, Kind::Fat, {" Uh-oh.  Now there are too many numbers in a list."}},
    {54, Kind::Fat, {" Nincompoop.  Your data matrix has to be positive definite for GLS "}},
    {55, Kind::Warn, {" Ouch! ", " Please try not to change your mind about the number of groups."}},
    {56, Kind::Fat, {" Awfully sorry, old chap, you're trying to / between matrices that", " have a different number of rows.  No can do!"}},
    {57, Kind::Fat, {" Awfully sorry, old chap, you're trying to _ between matrices that", " have a different number of columns.  No way!"}},
    {58, Kind::Fat, {" Uh-oh!  Your formula has an illegal character"}},
    {59, Kind::Fat, {" Uh-oh! Your matrix expression has a mistake in it.  Please fix it."}},
    {60, Kind::Fat, {" There seems to a problem with your format in your data file", " Put the format in parentheses () or use * to read data in free format"}},
    {61, Kind::Fat, {" Oh dear!  The formula you supplied does not yield the same number of elements", " as there should be, according to NI and any select or definition statements"}},
    {62, Kind::FatNoGrp, {" Stack has overflowed - tell the Qv maintainers", " or shorten your formula"}},
    {63, Kind::Fat, {" The matrices you wish to subtract are not conformable for subtraction", " i.e. the number of rows (columns) in matrix 1 is not the same as the ", " number of rows (columns) in matrix 2"}},
    {64, Kind::Fat, {" I'm terribly sorry, stack 1 has overflowed.  ", " Please tell the Qv maintainers or shorten your formula"}},
    {65, Kind::Fat, {" I'm terribly sorry, stack 2 has overflowed.  ", " Please tell the Qv maintainers or shorten your formula"}},
    {66, Kind::Fat, {" An undefined matrix has been encountered in the matrix formula", " Note: this error can occur if you have forgotten the / or ; ", " at the end of an earlier formula"}},
    {67, Kind::Fat, {" You seem to have missed out an operator...", " Matrix names should be single letters only.", " Note: this error can occur if you have forgotten the / or ; ", " at the end of an earlier formula"}},
    {68, Kind::Fat, {" At first you put % but then there was neither O nor E nor R  after it.", " Please try not to make grammatical errors like this."}},
    {69, Kind::Fat, {" You seem to be referring to parameter specifications for an  Observed or Expected matrix"}},
    {70, Kind::Fat, {" I want you to get this right.  If you equate to the Observed or", "  Expected matrix, you must specify a symmetric or full matrix"}},
    {71, Kind::Fat, {" The matrix you are trying to equate to the O matrix is bigger", " than the Observed matrix following any selection"}},
    {72, Kind::Fat, {" The matrix you are trying to equate to the expected matrix is ", "  not the same size as the expected matrix for that group.", "  The size of the expected matrix for that group is determined by the", "  size of its observed matrix after selection"}},
    {73, Kind::FatNoGrp, {" You have to give NG after CA if the first group is a CALC group", " and the number of groups must be greater than 0"}},
    {74, Kind::FatNoGrp, {" Tut-tut! you are trying to dot-product two matrices that have", " different dimensions"}},
    {75, Kind::Fat, {" I tried to read another group and hit the end of file instead.", " Either NG= is wrong in group 1, or your input file has been truncated."}},
    {76, Kind::Fat, {" Look buster, if you want to define your own function", " Then please get your matrix formula to define a 1x1 matrix!"}},
    {77, Kind::Fat, {" At first I thought you were going to use a function, but then... ", " You didn't put det, \\tr, exp, ln, sqrt,", " \\v2d, d2v, m2v, \\v2s, \\v2f, eval, evec, ", " ivec, ival, stnd, \\vech, \\vec, sin cos \\tan sinh cosh", " \\tanh muln - or any functions that I recognize, so I am confused."}},
    {78, Kind::Fat, {" Sorry, I only calculate the determinant of SQUARE matrices"}},
    {79, Kind::Fat, {" Sorry, I only calculate the trace of SQUARE matrices"}},
    {80, Kind::Fat, {" I say, if you use the EXPonent operator, you must make sure that the", " exponent is a 1x1 matrix"}},
    {81, Kind::Fat, {" I can't equate this matrix to the observed data of that group, because it", " hasn't got any!"}},
    {82, Kind::FatNoGrp, {" Hmmm sorry I don't understand this keyword", " Check NI= and FU/FI status of data matrices"}},
    {83, Kind::FatNoGrp, {" HEY! I thought you were going to say = but where's the =?\?"}},
    {84, Kind::FatNoGrp, {" You can only have MA=CM,PM, or KM right now - sorry!"}},
    {85, Kind::Fat, {" Pardon my ignorance here, but I don't understand this keyword.", " You should be using one of the following:", " CMatrix, PMatrix, KMatrix, ACov_matrix, RAw_data", " MEans, SKew, KUrtosis, LAbels, SElect, or MATrices", " Where at least the uppercase letters must be given", " Quite possibly, an earlier command screwed up"}},
    {86, Kind::Fat, {" Imagine this: I'm reading a number and I see a  character,  so I think...", " I know, it must be PI or E  BUT then to my surprise I see it  is neither"}},
    {87, Kind::Fat, {" I'm sorry, I can't write a matrix that doesn't exist to a  file.", " Remember, this matrix has to be defined in this group"}},
    {88, Kind::Fat, {" To output matrices to files, use QV with 1 letter after it (exceptions: %E, %M, %P, %V)", " then an = sign.  No spaces or anything else allowed."}},
    {89, Kind::Fat, {" AAAAGH!  You can't assign parameters to the raw data vector"}},
    {90, Kind::Fat, {" If you want to fit to the raw data vectors, you must put them in a vector", " that has 1 row and the columns less than or equal to the number of input variables", " before selection, if any."}},
    {91, Kind::Fat, {" No, I won't let you do this.  It would overwrite the first  raw data observation", " Go and edit your data instead."}},
    {92, Kind::Fat, {" Uh-oh, attempt to take log of zero or negative value imminent."}},
    {93, Kind::Fat, {" In order to use Maximum Likelihood to raw data,  it is necessary to supply both", "a model for the covariances, and one for the means"}},
    {94, Kind::Fat, {" Sorry, the expected matrix is singular just now"}},
    {95, Kind::Fat, {" Just WHAT is this keyword supposed to mean? ", " You should be using one of the following:", " MEan_structure, THresholds, COvariances,", " SPecify, MAtrix, PArameter, FIx, FRee, EQual,", " VAlue, STart, BOundary, OPtions, ENd, OUtput", " Where at least the uppercase letters must be given"}},
    {96, Kind::Fat, {" You have tried to convert something that wasn't a vector into a matrix", " Please try not to abuse \\v2 functions in this way"}},
    {97, Kind::Fat, {" At your starting values, evaluation of the log-likelihood  me try to take", " the logarithm of something less than or equal to zero.  ", " Please revise the starting values."}},
    {98, Kind::Fat, {" Your boundary constraint refers to a parameter not yet specified"}},
    {99, Kind::Fat, {" You have referred to a non-existent row of a matrix", "It's silly mistakes like these that my job as a computer *SO* rewarding"}},
    {100, Kind::Fat, {" You have referred to a non-existent column of a matrix"}},
    {101, Kind::Fat, {" You can't use the keyword FU when reading diagonal weight matrices or means"}},
    {102, Kind::Fat, {" SORRY I don't select DWLS with correlation matrices yet"}},
    {103, Kind::Fat, {" Error - you seem to have a non-integer value for the type of  person", " Please check: (1) you have the right pedigree size here", "               (2) you have an integer type identifier for everyone", "               (3) Nothing screwed up in an earlier pedigree"}},
    {104, Kind::Fat, {" Please, you must tell me the covariance matrix structure in terms of id codes", " Use the IC command to do this, sometime after MO and before End"}},
    {105, Kind::Fat, {" There is a variable in this pedigree whose id has not been given", " in the IC command", " If no IC was given a variable who has an id greater than NI is present"}},
    {106, Kind::Fat, {" Your model does not define the COVARIANCE between TWO people with this ID", " Of course, by default it won't.  You need to use the IC command correctly"}},
    {107, Kind::Fat, {" An element of a matrix that you have tried to sqrt()", " is less than zero.  Please don't let this happen!", " This version of Qv does not cater for complex numbers - most of the time"}},
    {108, Kind::Fat, {" You tried to convert a vector of the wrong length to a symmetric matrix"}},
    {109, Kind::Fat, {" I am only prepared to raise the elements of a matrix to the  power of a scalar.", " Please try to ensure the matrix to the right of a ^ is (1 x 1)"}},
    {110, Kind::Fat, {" You tried to convert a vector of the wrong length to a FULL Square matrix"}},
    {111, Kind::Fat, {" Eigenvalues of square matrices only, please"}},
    {112, Kind::Fat, {" Eigenvectors of square matrices only, please"}},
    {113, Kind::Fat, {" I'm afraid that if you want to fit to raw data you MUST supply models", " for BOTH means and covariances.  You have forgotten a model for the means", " You might forget your head if it wasn't attached with lots of sinews etc."}},
    {114, Kind::Fat, {" I'm afraid that if you want to fit to raw data you MUST supply models", " for BOTH means and covariances.  You have forgotten a model for the covariances", " This is the 783rd time you have made this mistake but you have ", " probably forgotten about the other times"}},
    {115, Kind::Fat, {" If you are using MUltiple fits, it is impossible to change the matrix formulae", "  - and you can't change boundaries either"}},
    {116, Kind::Fat, {" If you wish to SPecify, PArameter, or MAtrix a matrix, you have to specify", " the group number **on the same line** BEFORE the SP, PA or MA statement"}},
    {117, Kind::Fat, {" Please try *not* to refer to non-existent groups!", " I don't mind you having fantasies, but there are limits, you know."}},
    {118, Kind::Fat, {" When using the MU option you *MUST* use 3 numbers to specify a matrix element", " Group #, row # and column #"}},
    {119, Kind::Fat, {" I'm *so* embarassed.  I ran out of workspace."}},
    {120, Kind::Fat, {" To read labels for a matrix, you must use the syntax: LABEL <R or C> Name"}},
    {121, Kind::Fat, {" Labels can't be given for a non-existent matrix", " Or rather they can, but Qv will stop"}},
    {122, Kind::Fat, {" Labels may not begin with a number because it could confuse me later on."}},
    {123, Kind::Fat, {" Labels have not been provided for the data, but you seem to be using them", " to select variables.  Use numbers or 'Give me labels or give me ...' "}},
    {124, Kind::Fat, {" It would seem that you are trying to select a variable that you never supplied", " I expect that, being human, you made a mistake in the LA or SE list"}},
    {125, Kind::Fat, {" I can't select a variable that doesn't exist.", " Make sure that NI is correct or fix SE list"}},
    {126, Kind::Fat, {"Sorry, you can use covariance structures ONLY in", "constraint or calculation groups; means not allowed"}},
    {127, Kind::Fat, {" Incorrect element of a lower triangular matrix specified"}},
    {128, Kind::Fat, {" Hey! You must have NI=2 to use contingency tables"}},
    {129, Kind::Fat, {" I'm afraid that if you want to fit to contingency tables you MUST supply models", " for BOTH thresholds and covariances.  You have forgotten a  model for the thresholds", " Are these lapses of memory getting more frequent?", " Can't remember?\?  Maybe you need a checkup..."}},
    {130, Kind::Fat, {" I'm afraid that if you want to fit to contingency tables you  MUST supply models", " for BOTH thresholds and covariances.  You have forgotten a model for the covariances", " Are these lapses of memory getting more frequent?", " Can't remember?\?  Maybe you need a checkup..."}},
    {131, Kind::Fat, {" You must supply a matrix expression for the thresholds that will evaluate", " to a matrix with 2 rows and with at least as many columns as one less than", " the number of row categories or the number of colum categories,whichever is greater", " i.e. max(nrowcat-1,ncolcat-1)"}},
    {132, Kind::Fat, {" Sorry, but during optimization I have been asked to calculate a bivariate", " integral with a correlation of 1 or more.  This is very unreasonable of you", " Please fix your model so that this doesn't happen.  Use boundaries or something."}},
    {133, Kind::Fat, {"Yes I will fit to n x n contingency tables BUT...", "n must be greater than or equal to 2"}},
    {134, Kind::Fat, {" If you want me to save or get an Qv binary file", " then you MUST supply a filename on the same line"}},
    {135, Kind::Fat, {" We must have misunderstood each other somehow.", " You can't get expected proportions %P from a ", " group that isn't using contingency tables"}},
    {136, Kind::Fat, {" I think memory is screwed up because of a fault in Qv", " Please tell the Qv maintainers about it:", " e-mail qv-maintainers@example.org"}},
    {137, Kind::Fat, {" Well well well.  You would like graphics.  If so", " why don't you put an = after the DR command?\??"}},
    {138, Kind::Warn, {" To fit to mean structures as well as covariances you should provide", " *both* observed means and a model for them (as well you know!)", " I'm going to use the covariances, but the mean -"}},
    {139, Kind::Fat, {" Really I'm very very sorry about this.  It is not under my control.", " (Files that end early happen to everyone.)", " However enough philosophising, the problem is that we have reached the end of", " file too soon.  Since you are using * format, you should put one case per line. ", " That is to say, there should be NObs lines each with NI variables in a RA data file"}},
    {140, Kind::Fat, {" Really I'm very very sorry about this.  It is not under my control.", " (Files that end early happen to everyone.)", " However enough philosophy, the problem is that we have reached  the end of", " file too soon.  Make sure that your format is OK", " Also, remember there should be NObs * NI numbers in your RA data file"}},
    {141, Kind::Fat, {" Very funny.  Hahaha.  You want me to standardize a non-square matrix?", " Just how am I supposed to do that?"}},
    {142, Kind::Fat, {" It is with great sadness that I have to tell you that I couldn't", " standardize your matrix because the number I'm supposed to divide by is ", " too small.  Perhaps you could avoid this problem with boundary constraints."}},
    {143, Kind::Fat, {" You are in terrible danger.  Don't say multiple until the last group.", " I know I could have just remembered for you, but I'm lazy too!"}},
    {144, Kind::Fat, {" Sorry, old chap.  You can't specify boundary constraints after OPtions"}},
    {145, Kind::Fat, {" Cough, ahem... can you please give me a matrix that has 1 row  and 2 columns", " for the power transformation?\?"}},
    {146, Kind::Fat, {" For heaven's sake!  Can't you bound your constant so that it ", "is  *greater* than minus the minimum observation?\?!"}},
    {147, Kind::Fat, {" YIKES!  There's something funny about the power function you request", " Remember that after PO you should supply 2 numbers:", "  The significance level (alpha) (0.0 < alpha < 1)", "  The degrees of freedom of the test (df > 0)", "  Sometimes the library chokes if alpha is close to 0 or 1"}},
    {148, Kind::Fat, {" I can calculate confidence intervals in the range  0 to 100.", " Please try to stay within these bounds"}},
    {149, Kind::Fat, {" Look here buster, the matrix you muln must have 3 more rows than it does columns"}},
    {150, Kind::Fat, {" There is a problem with the multinormal", " integral that you tried to compute.", " See if you can be kinder to me by using bounds"}},
    {151, Kind::Fat, {" Covariance matrices must be computed from ", " sample sizes of at least 1", " I suspect that you forgot to put the NObs= ", " parameter on the data line"}},
    {152, Kind::Fat, {" The operation you attempted using ^ is undefined", " in mathematics in this universe.  Try using e.g. ", " abs() if you can, or go to another universe!"}},
    {153, Kind::Fat, {" Look here buster, the matrix you mnor must have 4 more rows than it does columns"}},
    {154, Kind::Fat, {" Unknown matrix operator encountered!"}},
    {155, Kind::Fat, {" Your observed covariance matrix is not ", " positive-definite.  Check that you are reading it", " in the correct format - Full or Symmetric"}},
    {156, Kind::Fat, {" Ooops.  Somehow I was expecting a matrix with ", " 4 more rows than columns for the momnor function", " Remember, they should be organized this way:", " Covariance matrix", " Mean vector", " Thresholds in terms of standardized units", " Selection vector: 1=above, -1=below, 0=not selected", " Quadrature parameter 0=default=16; max=64"}},
    {157, Kind::Fat, {" Aha!  You have tried to use algebra to create a", " matrix that already exists.  This is strictly ", " illegal in Qv.  Go directly to Jail.", " Do not pass go.  Do not collect $200", " And make sure you haven't forgotten the End Algebra; statement"}},
    {158, Kind::Fat, {" Hmmm you can't call a matrix this.  Not yet.", " Use single letters (A-Z) for now. "}},
    {159, Kind::Fat, {" After the BEGIN keyword I expected to see one of the", " keywords ALGEBRA or MATRICES.  Are you dyslexic?  Or am I?"}},
    {160, Kind::Fat, {" Well I was trying to find the above character,", " but even though I looked through the whole file", " I could not find it.  Perhaps you forgot it?"}},
    {161, Kind::Fat, {" You seem to have put two binary operators in a row, which is ", " bad syntax.  Might this be a typo?  Just possibly?"}},
    {162, Kind::Fat, {" I figure that you are trying to redefine something in this  multi-group script", " but you have not used a #define Group = n statement yet", " so I don't know which group it is you wish to change"}},
    {163, Kind::Fat, {" Oh no you don't.  You can't use a #define group statement", " unless you are (or rather I am) in multiple fit mode"}},
    {164, Kind::Fat, {" Sorry, I don't understand what you are trying to #define"}},
    {165, Kind::Fat, {" While searching for a number, I encountered a string more than 32 characters long.", " At first, I thought it might be a global variable, but it is probably just your mistake."}},
    {166, Kind::Fat, {" *So* sorry!  You can't use !@ in the title.  It might confuse my front end."}},
    {167, Kind::Fat, {" I was trying to read a number or a #define'd parameter,  and although I found", "  a delimiter, I got to the end of the line before I found  the number"}},
    {168, Kind::Fat, {" I know this is rather silly of me, but I really need to know both NI= and NO=", " in order to read the data sensibly.  Please look at the DA line"}},
    {169, Kind::Fat, {" Error: file not found:", " Check spelling and existence of file", " Remember that UNIX is case sensitive", " Filenames have a maximum of 80 characters including directory"}},
    {170, Kind::Fat, {" Once I saw the begin keyword, I thought, 'Aha I bet this user is going to", " say algebra or matrices next.'  Well I lost my bet.", " I don't know what you want to begin."}},
    {171, Kind::Fat, {" You seem to be trying to end matrices with something other than", " 'end matrices;'.  It's not that difficult, is it?"}},
    {172, Kind::Fat, {" This is a generic error message of no use to you whatsoever.", " Lots of software has error messages like this, so I thought Qv should too.", " If you see it, please send your script to qv-maintainers@example.org"}},
    {173, Kind::Fat, {" I'm terribly sorry about this old chap.  You can't use QQ", " as a missing data flag.  It's Just one of those things.   "}},
    {174, Kind::Fat, {" Oh boy.  There I was trying to read stuff in rectangular  format for you.", " And then I came across a blank record.  I suspect a mistake.", ""}},
    {175, Kind::Fat, {" The run-time input system reported a read error; please check your data file", " Suspicious Characters."}},
    {176, Kind::Fat, {" An error has occurred while reading a rectangular file", " Make sure that you *don't* have a FORMAT at the beginning", " and note, I can't read numbers that begin with D, Q or E."}},
    {177, Kind::Fat, {" Oooooh!  Weird one.  Your data file seems to be empty."}},
    {178, Kind::Fat, {" "}},
    {179, Kind::Warn, {" Sorry, I'm just not ready to save at this point."}},
    {180, Kind::Fat, {" This might seem a bit picky of me, but if you are going to simulate data", " I'd like to know HOW MANY cases to simulate.  Please give NI=n", " on the Simulate line, where n is a positive integer.  Thank you."}},
    {181, Kind::Fat, {" Now look here.  To simulate data you need to have a matrix formula for the", " Covariances which is *Square*, i.e., rows = columns above."}},
    {182, Kind::Fat, {" Well there I was, all ready to equate all the matrices in this", " group to those of a previous group, and then you didn't put ", " *which* group on the same line.  Try, e.g., Matrices = Group 1", " Note that you *must* have a space after the word group"}},
    {183, Kind::Fat, {" Unbalanced parentheses in your formula.  I'm not big into", " Yin & Yan but this is one area that I'd like more balance."}},
    {184, Kind::Fat, {" I can't give you the sort order of this *column vector*", " because it has more than one column!!"}},
    {185, Kind::Fat, {" Partition requires syntax part(A,B) where B has 4 rows ", " and one column.  Somehow you didn't do this right."}},
    {186, Kind::Fat, {" No no no.  The second matrix in the list part(A,B) must", " have 4 rows and 1 column."}},
    {187, Kind::Fat, {" I'm afraid that you can't use & between matrices that", " are not conformable.  In this case, the number of columns", " in the first matrix must equal the number of rows in the", " second matrix, which must be square (rows of b=cols of b)."}},
    {188, Kind::Fat, {" Look, how am I supposed to know what these elements outside", " the dimensions of the matrix are?\?"}},
    {189, Kind::Fat, {" The partition function is tricky, I know.  Make sure that ", " the coordinate (2nd) matrix has been initialized FIRST", " See the example partit.qv for details on how to do this"}},
    {190, Kind::Fat, {" OK wise guy that's far enough!  The group you referenced with", " %O doesn't have an observed covariance matrix!"}},
    {191, Kind::Fat, {" The matrices you wish to divide with % are not conformable.", " The number of rows in matrix 1 must be the same as the number", " of rows in matrix 2, *and* the number of ", " columns in matrix 1 must be the same as the number of columns", " in matrix 2."}},
    {192, Kind::Fat, {" I believe you read in the inverse of a weight matrix, sir?", " In that case you can't use select variables, because it", " defeats the point of saving time by pre-inverting."}},
    {193, Kind::Fat, {" To use the computed matrix type, you have to put = M 1 on the ", " same line, where M is a matrix and 1 is an earlier group.", " I'm not psychic. How am I supposed to know which computed", " matrix you want it to equal?"}},
    {194, Kind::Fat, {" Hang on a minute!  You can *only* use the computed matrix type", " to refer to matrices generated in a Begin Algebra section."}},
    {195, Kind::Fat, {" Yoo-hoo! You're supposed to a letter here..."}},
    {196, Kind::Fat, {" Gadzooks! You didn't supply a compute statement in that group.", " Therefore, I can't make this matrix equal to the %E of it."}},
    {197, Kind::Fat, {" Huh? I don't understand your optional command line parameters.", " Syntax should be e.g.,: qv -f -h -k 100 myfile.qv myfile.qvo", " where f denotes frontend, h requests html, and k is workspace", " Note: -f implies reading from keyboard and writing to screen"}},
    {198, Kind::Fat, {" You must put the filename on the same line when using !@get,", " !@put or !@exist"}},
    {199, Kind::Fat, {" Please put the filename on the same line when using #include"}},
    {200, Kind::Fat, {" File exists; use !@PUT! to overwrite it"}},
    {201, Kind::Fat, {" Binary file format has changed since version 1.34 - SORRY!!"}},
    {202, Kind::Fat, {" To use Select IF, you *must* supply labels first"}},
    {203, Kind::Fat, {" To use Select IF, you *must* have read data in Rec or VL format"}},
    {204, Kind::Fat, {" I can't find the Select If variable in the variable label list' Please check spelling carefully"}},
    {205, Kind::Fat, {" I should be seeing one of the operators = > < or ^= ^< ^> here but I'm not"}},
    {206, Kind::Fat, {" Sorry, I can only calculate confidence intervals in the 1% to 99.99% range."}},
    {207, Kind::Fat, {" You should be supplying a list of matrix elements like A 1 2 3 but all I can see is a number"}},
    {208, Kind::Fat, {" Sorry, I won't accept the keyword all for a list of confidence' intervals."}},
    {209, Kind::Fat, {" Somehow, in getting the confidence interval list we overstepped' our bounds. Please e-mail qv-maintainers@example.org"}},
    {210, Kind::Fat, {" The data/calculation line in the first group MUST contain", " the number of groups NGroups= and it must be greater than 0"}},
    {211, Kind::Fat, {" Momnor couldn't standardize a threshold because it was zero", " or less.  Make sure you initialize the matrix before using it in a formula"}},
    {212, Kind::Fat, {" Too many equality links requested in this group - max. 26"}},
    {213, Kind::Fat, {" You have #included a file which had an #include in it, which", " had an include in it, which had an include in it...", " and so on --- over 100 times!", " I presume that you have accidentally done something recursive"}},
    {214, Kind::Fat, {" Tut tut!  You can't put values into a matrix that is formula", " Try changing the matrices used to compute this matrix, perhaps?"}},
    {215, Kind::Fat, {" I'm afraid this definition variable label conflicts with an", " existing #DEFINE'd variable.  Please resolve this conflict peacefully"}},
    {216, Kind::Fat, {" Syntax error:  Should be START OBSSDS M where M is the name", " of the matrix that you want started at the observed SD's "}},
    {217, Kind::Fat, {" I can only set the starting values to the observed SD's if", " this is a data group that has CM, KM, PM or VL/Rect data "}},
    {218, Kind::Warn, {" I can only assign variances as starting values of a diagonal", " matrix that has the same size as NI, after selection, if any. "}},
    {219, Kind::Fat, {" Syntax error:  Should be START OBSMEAN M where M is the name", " of the matrix that you want started at the observed means "}},
    {220, Kind::Fat, {" Determinant of covariance matrix is zero, or data matrix not", " supplied with a CM statement.  Try not to lose things :)"}},
    {221, Kind::Warn, {" I can only assign means as starting values of a full", " matrix that has the same size as NI, after selection, if any. "}},
    {222, Kind::Fat, {" Definition variables can be used only when VL or Rectangular", " data have been supplied.  Back to the drawing board! "}},
    {223, Kind::Fat, {" Error trying to open a file.  Check that directory exists and", " that file is not locked by another program, and that filename", " is legal for DOS or Unix.  Long filenames not supported under", " Win95 with some older file systems."}},
    {224, Kind::Fat, {" Chi-squared probabilities only calculated for matrices with", " 2 colums.  Sorry about that, chaps."}},
    {225, Kind::Fat, {" Aha! The Pelbe98 error.  You can't request Option User unless", " you are in a *Data* group.  Sorry about that, chaps."}},
    {226, Kind::Fat, {" You have requested too much memory for the hardware that you", " have.  Try either a lower -k or backend memory job option", " or upgrade your machine to have more memory."}},
    {227, Kind::Fat, {" You must have #Ngroups before #Linkage, sorry"}},
    {228, Kind::Fat, {" After a LINKAGE command the only legal option is NTypes.", " Your illegal option has been arrested and so has the program."}},
    {229, Kind::Fat, {" A problem has shown itself within the Begin Link... section", " Such offensive behavior should not happen.  Check for earlier errors"}},
    {230, Kind::Fat, {" I was expecting an End VL statement here.  Where is it?", " Have you hidden it?  You naughty scientist!"}},
    {231, Kind::Fat, {" There was an error trying to read a number in a vl file", " Make sure that there are no strange characters in there.", " You must have spaces between numbers; be careful with - signs", " as something like 123.45-68.910 would cause this error"}},
    {232, Kind::Fat, {" The variance of a variable was zero which made it rather", " difficult to standardize the threshold", " Please adjust starting values or boundaries to ensure that", " this zero variance happens zero more times again"}},
};

constexpr const char* kUnknown = " An unidentified error has occurred.  You must be very clever!";

const Errdef* find(int code) {
  if (code < 1 || code > kMaxCode) return nullptr;
  return &kErrors[code - 1];
}

// The front-end error record; fatal = false leaves the severity record empty.
void ferecord(int code, bool fatal) {
  const auto& inc = INCSTK;
  write_fmt(kStdout, "(a10)", {"!@machine;"});
  write_list(kStdout, {"!@error"});
  write_list(kStdout, {MAINPR.LINENO});
  write_list(kStdout, {CURSOR.ICOL});
  write_list(kStdout, {code});
  if (fatal)
    write_list(kStdout, {1});
  else
    write_record(kStdout, "");
  write_list(kStdout, {inc.INCDEP > 1 ? "1" : "0"});
  const std::string name =
      inc.INCDEP > 1 ? std::string(runtime::trim_right(inc.INCNAM)) : std::string();
  write_list(kStdout, {"\"" + name + "\""});
  write_fmt(kStdout, "(a8)", {"!@human;"});
}

}  // namespace

bool ERRNFT(int CODE) {
  const Errdef* e = find(CODE);
  return e != nullptr && e->kind == Kind::Warn;
}

bool ERRGRP(int CODE) {
  const Errdef* e = find(CODE);
  return e != nullptr && e->kind == Kind::Fat;
}

std::vector<std::string> ERRTXT(int CODE) {
  std::vector<std::string> out;
  const Errdef* e = find(CODE);
  if (e == nullptr) {
    out.emplace_back(kUnknown);
    return out;
  }
  for (const char* l : e->lines)
    if (l != nullptr) out.emplace_back(l);
  return out;
}

namespace {

// A code sent to the wrong entry (a warning code to ERRMSG, a fatal code to
// report_ignored_error) is the caller's mistake: the checked builds stop on
// it at once; the others go on as the entry's rule says.
void misrouted_code(int CODE, const char* entry) {
#ifdef QV_CHECK_BOUNDS
  std::fprintf(stderr, "Error code %d passed to %s\n", CODE, entry);
  std::abort();
#else
  (void)CODE;
  (void)entry;
#endif
}

// The report both entries begin with: where the problem was met, the line
// with its marker and the message records.
void write_error_head(int CODE) {
  const auto& m = MAINPR;
  const auto& inc = INCSTK;
  const auto& cur = CURSOR;
  const bool html = m.HTMLON;

  write_list(kStdout, {});
  if (html) {
    const std::string id = HTANCH(m.JOBNO, 0);
    HTPRE(0);
    write_list(kStdout, {" <LI> <A NAME=Error", id, "> Error</A>"});
    write_list(kStdout, {"<H5>"});
  }
  write_fmt(kStdout, "(1x,a,i4)", {" We have a problem whose error code is ", CODE});
  write_fmt(kStdout, "(1x,a,i4)", {" and which I ran across at line number ", m.LINENO});
  if (inc.INCDEP > 1) {
    write_list(kStdout, {" of your include file: ", runtime::fpad(inc.INCNAM, 80)});
  } else if (inc.INCDEP == 1) {
    write_list(kStdout, {" of your input script"});
  } else {
    write_list(kStdout, {" and something VERY strange has happened so"});
    write_list(kStdout, {" please e-mail your input script to qv-maintainers@example.org"});
  }
  if (html) {
    HTPRE(0);
    write_list(kStdout, {"<P></H5>"});
    HTPRE(0);
    write_list(kStdout, {"<H5>"});
  }

  // The line and the marker under the cursor; the marker never leaves the
  // line (the cursor is 0 at end of input and may lie past the line end).
  const int llen = std::max(0, std::min(cur.LLEN, LINMAX));
  write_fmt(kStdout, "(1x,a,a)", {std::string_view(LINBUF.LINE).substr(0, llen)});
  std::string marker(llen, ' ');
  for (int c = cur.ICOL - 1; c <= cur.ICOL + 1; ++c) {
    if (c == cur.ICOL - 1 && cur.ICOL <= 1) continue;
    if (c >= 1 && c <= llen) marker[c - 1] = '~';
  }
  write_fmt(kStdout, "(1x,a,a)", {marker});

  const std::vector<std::string> text = ERRTXT(CODE);
  if (CODE == 169) {
    // The file name and the advice follow as list-directed records.
    write_fmt(kStdout, "(1x,a,a)", {text[0]});
    write_list(kStdout, {runtime::fpad(inc.FILNAM, 80)});
    for (std::size_t i = 1; i < text.size(); ++i) write_list(kStdout, {text[i]});
  } else {
    for (const std::string& t : text) write_fmt(kStdout, "(1x,a,a)", {t});
  }
}

}  // namespace

void report_ignored_error(int CODE) {
  if (!ERRNFT(CODE)) {
    misrouted_code(CODE, "report_ignored_error");
    ERRMSG(CODE);
  }
  const auto& fe = FESTAT;
  const bool html = MAINPR.HTMLON;
  // In HTML mode the PRE state is put back as the report found it.
  const int presta = HTMLST.PRESTA;

  write_error_head(CODE);
  write_list(kStdout, {" I'm just going to ignore it, OK?"});
  if (html) {
    write_list(kStdout, {"<P></H5>"});
    HTPRE(presta);
  }
  if (fe.FEACTV && fe.MACHOUT) ferecord(CODE, false);
}

void ERRMSG(int CODE) {
  if (ERRNFT(CODE)) misrouted_code(CODE, "ERRMSG");
  const auto& m = MAINPR;
  const auto& fe = FESTAT;
  const bool html = m.HTMLON;

  write_error_head(CODE);
  if (ERRGRP(CODE)) write_fmt(kStdout, "(1x,a,i4)", {" Problem occurred in group #", m.IGRP});

  if (html) {
    write_list(kStdout, {"<P></H5>"});
    HTPRE(0);
    write_list(kStdout, {"<A NAME=Index><H2> Index</H2></A><UL>"});
    for (int j = 1; j <= m.JOBNO - 1; ++j) HTJOB(j, 2);
    HTPRE(0);
    write_list(kStdout, {" <BR> <HR> "});
    const std::string id = HTANCH(m.JOBNO, 0);
    write_list(kStdout, {" <H4> Job number ", m.JOBNO, "</H4></A>"});
    write_list(kStdout, {" <UL> "});
    write_list(kStdout, {" <LI> <A HREF=\"#Job", id, "\"> Input Stream</A>"});
    write_list(kStdout, {" <LI> <A HREF=\"#Error", id, "\"> Error Message</A>"});
    write_list(kStdout, {"</UL>"});
    const std::string endid = HTANCH(m.JOBNO + 1, 0);
    write_list(kStdout, {" <H2> <A NAME=Job", endid, "> End of output"});
    write_list(kStdout, {" <A NAME=Fit", endid, "> </H2></A>"});
    HTFOOT();
    HTPRE(1);
  }

  if (!(fe.FEACTV && !fe.MACHOUT)) {
    if (fe.FEACTV && fe.MACHOUT) ferecord(CODE, true);
    if (fe.MACHOUT) write_fmt(kStdout, "(a10)", {"!@machine;"});
  }
  runtime::stop(911);
}

}  // namespace qv::jobbase
