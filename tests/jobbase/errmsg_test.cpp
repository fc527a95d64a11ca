#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "runtime/stop.hpp"
#include "script_fixture.hpp"

namespace qv::jobbase {
namespace {

using testing_support::capture;

// The message table as the users' documentation gives it: code, kind and
// the message records, each in double quotes, separated by " / ".
struct Doc {
  int code;
  const char* kind;
  const char* cell;
};

const Doc kDoc[] = {
    {1, "F", R"~(" First input line after title must be DATA" / " Maybe, just MAYBE, you got your NG wrong")~"},
    {2, "F", R"~(" Data line must have NI and NO specified")~"},
    {3, "F", R"~(" End of file while trying to read title")~"},
    {4, "F", R"~(" Must specify MATrices at this point" / " Perhaps you have the wrong NI or the wrong matrix type - SY instead of FU?")~"},
    {5, "F", R"~(" Not a legal matrix name.  Use A-Z, one letter only")~"},
    {6, "F", R"~(" Illegal matrix type.  " / " You may use ZE, ID, IZ, ZI, DI, SD, SY, ST, FU, UN or LO")~"},
    {7, "F", R"~(" Sorry, I seem to be at the end of your input file.  Check NG is correct")~"},
    {8, "F", R"~(" Number of selected variables must be less than or" / " equal to the number of input variables (NI)")~"},
    {9, "F", R"~(" Error - no variables selected for analysis")~"},
    {10, "F", R"~(" Terribly sorry, I don't have enough workspace")~"},
    {11, "F", R"~(" Please try not to refer to matrices that you haven't specified")~"},
    {12, "F", R"~(" Please use only PATTERN or SPECIFICATION throughout")~"},
    {13, "F", R"~(" Error - no matrix specified")~"},
    {14, "F", R"~(" More than 3 dimensions specified")~"},
    {15, "F, no group line", R"~(" Error - Matrix has not been specified")~"},
    {16, "F", R"~(" Matrix has been specified not to have free elements")~"},
    {17, "F", R"~(" You cannot alter off-diagonal elements of a diagonal matrix")~"},
    {18, "F", R"~(" Incorrect element of a SUbdiagonal matrix specified")~"},
    {19, "F", R"~(" Incorrect element of a STandardized matrix specified")~"},
    {20, "F", R"~(" Please use 2 or 3 dimensional format for elements")~"},
    {21, "F", R"~(" Sorry, I can't find your matrix element")~"},
    {22, "non-fatal", R"~(" I'm sorry, I don't understand this part of DATA line, so I'm ignoring it")~"},
    {23, "F", R"~(" Sorry, I couldn't invert your expected matrix")~"},
    {24, "F", R"~(" Sorry, I couldn't invert your asymptotic matrix")~"},
    {25, "F", R"~(" Strangely, you seem to have requested an unknown matrix operation")~"},
    {26, "F", R"~(" Sorry, your model matrix has different dimensions from your data matrix")~"},
    {27, "F", R"~(" Sorry, your expected matrix is not symmetric")~"},
    {28, "F", R"~(" **Sorry, you must have symmetric or full model**")~"},
    {29, "F", R"~(" Please try not to specify inverse for non-square matrices.")~"},
    {30, "F", R"~(" Sorry, had trouble transposing a matrix")~"},
    {31, "F", R"~(" Sorry, I couldn't find the determinant of a matrix")~"},
    {32, "F", R"~(" Uh-oh... there's a problem with a binary operator")~"},
    {33, "F", R"~(" Sorry, the matrix addition screwed up")~"},
    {34, "F", R"~(" The matrices you wish to add are not conformable for addition" / " i.e. the number of rows (columns) in matrix 1 is not the same" / " as the number of rows (columns) in matrix 2")~"},
    {35, "F", R"~(" The matrices you wish to multiply are not conformable for multiplication" / " i.e. the number of columns in matrix 1 is not the same as thenumber of rows in matrix 2")~"},
    {36, "F", R"~(" You seem to have an unknown matrix type")~"},
    {37, "F", R"~(" I seem to be using an unknown fit function")~"},
    {38, "F", R"~(" You must specify 3 numbers for boundary constraints" / " Lower bound, Upper bound, Parameter # or array   element")~"},
    {39, "F, no group line", R"~(" First character after Boundary or Drop must be alphanumeric")~"},
    {40, "F", R"~(" Sorry, to request AWLS for this group, you should have input an asymptotic covariance matrix")~"},
    {41, "F, no group line", R"~(" I don't know to what you want me to equate this matrix")~"},
    {42, "F", R"~(" Sorry, I can't make this matrix equal to a matrix that you " / " haven't supplied yet")~"},
    {43, "F", R"~(" Uh-oh... I got stuck inverting a matrix while calculating the expected matrix." / " If you are using an (I-B)~ formulation, make sure that  the parameters in B do NOT" / " have bounds +1 or -1" / " This error is a pain in the neck.  If you get it a lot, let me know")~"},
    {44, "F", R"~(" Uh-oh... I'm having trouble reading a number in D or E format")~"},
    {45, "F", R"~(" Sorry - could you put the =filename on the same line  as the FI, please?")~"},
    {46, "F", R"~(" Awfully sorry, I couldn't open a file for you")~"},
    {47, "F", R"~(" I deeply regret that your equality constraint refers to a  non-existent matrix.")~"},
    {48, "F, no group line", R"~(" OH NO!  The IOP parameter calling MSOFAR is wrong ")~"},
    {49, "F", R"~(" Please don't mix parameter number and array references like" / " 23 7 A 1 1 in a list of elements.  Stick to one type." / " I just get so terribly confused.")~"},
    {50, "F", R"~(" There I was, looking for a number and - blow me down -" / " I just could not find it. ")~"},
    {51, "F", R"~(" It seems rather strange to me to have a + or - sign without a number after it")~"},
    {52, "F", R"~(" You seemed to put a * in the middle of two numbers but WRONGLY.")~"},
    {53, "F", R"~(" Uh-oh.  Now there are too many numbers in a list.")~"},
    {54, "F", R"~(" Nincompoop.  Your data matrix has to be positive definite for GLS ")~"},
    {55, "non-fatal", R"~(" Ouch! " / " Please try not to change your mind about the number of groups.")~"},
    {56, "F", R"~(" Awfully sorry, old chap, you're trying to / between matrices that" / " have a different number of rows.  No can do!")~"},
    {57, "F", R"~(" Awfully sorry, old chap, you're trying to _ between matrices that" / " have a different number of columns.  No way!")~"},
    {58, "F", R"~(" Uh-oh!  Your formula has an illegal character")~"},
    {59, "F", R"~(" Uh-oh! Your matrix expression has a mistake in it.  Please fix it.")~"},
    {60, "F", R"~(" There seems to a problem with your format in your data file" / " Put the format in parentheses () or use * to read data in free format")~"},
    {61, "F", R"~(" Oh dear!  The formula you supplied does not yield the same number of elements" / " as there should be, according to NI and any select or definition statements")~"},
    {62, "F, no group line", R"~(" Stack has overflowed - tell the Qv maintainers" / " or shorten your formula")~"},
    {63, "F", R"~(" The matrices you wish to subtract are not conformable for subtraction" / " i.e. the number of rows (columns) in matrix 1 is not the same as the " / " number of rows (columns) in matrix 2")~"},
    {64, "F", R"~(" I'm terribly sorry, stack 1 has overflowed.  " / " Please tell the Qv maintainers or shorten your formula")~"},
    {65, "F", R"~(" I'm terribly sorry, stack 2 has overflowed.  " / " Please tell the Qv maintainers or shorten your formula")~"},
    {66, "F", R"~(" An undefined matrix has been encountered in the matrix formula" / " Note: this error can occur if you have forgotten the / or ; " / " at the end of an earlier formula")~"},
    {67, "F", R"~(" You seem to have missed out an operator..." / " Matrix names should be single letters only." / " Note: this error can occur if you have forgotten the / or ; " / " at the end of an earlier formula")~"},
    {68, "F", R"~(" At first you put % but then there was neither O nor E nor R  after it." / " Please try not to make grammatical errors like this.")~"},
    {69, "F", R"~(" You seem to be referring to parameter specifications for an  Observed or Expected matrix")~"},
    {70, "F", R"~(" I want you to get this right.  If you equate to the Observed or" / "  Expected matrix, you must specify a symmetric or full matrix")~"},
    {71, "F", R"~(" The matrix you are trying to equate to the O matrix is bigger" / " than the Observed matrix following any selection")~"},
    {72, "F", R"~(" The matrix you are trying to equate to the expected matrix is " / "  not the same size as the expected matrix for that group." / "  The size of the expected matrix for that group is determined by the" / "  size of its observed matrix after selection")~"},
    {73, "F, no group line", R"~(" You have to give NG after CA if the first group is a CALC group" / " and the number of groups must be greater than 0")~"},
    {74, "F, no group line", R"~(" Tut-tut! you are trying to dot-product two matrices that have" / " different dimensions")~"},
    {75, "F", R"~(" I tried to read another group and hit the end of file instead." / " Either NG= is wrong in group 1, or your input file has been truncated.")~"},
    {76, "F", R"~(" Look buster, if you want to define your own function" / " Then please get your matrix formula to define a 1x1 matrix!")~"},
    {77, "F", R"~(" At first I thought you were going to use a function, but then... " / " You didn't put det, ", a tab, "r, exp, ln, sqrt," / a blank, a vertical tab (character 11), "2d, d2v, m2v, ", a vertical tab, "2s, ", a vertical tab, "2f, eval, evec, " / " ivec, ival, stnd, ", a vertical tab, "ech, ", a vertical tab, "ec, sin cos ", a tab, "an sinh cosh" / a blank, a tab, "anh muln - or any functions that I recognize, so I am confused.")~"},
    {78, "F", R"~(" Sorry, I only calculate the determinant of SQUARE matrices")~"},
    {79, "F", R"~(" Sorry, I only calculate the trace of SQUARE matrices")~"},
    {80, "F", R"~(" I say, if you use the EXPonent operator, you must make sure that the" / " exponent is a 1x1 matrix")~"},
    {81, "F", R"~(" I can't equate this matrix to the observed data of that group, because it" / " hasn't got any!")~"},
    {82, "F, no group line", R"~(" Hmmm sorry I don't understand this keyword" / " Check NI= and FU/FI status of data matrices")~"},
    {83, "F, no group line", R"~(" HEY! I thought you were going to say = but where's the =??")~"},
    {84, "F, no group line", R"~(" You can only have MA=CM,PM, or KM right now - sorry!")~"},
    {85, "F", R"~(" Pardon my ignorance here, but I don't understand this keyword." / " You should be using one of the following:" / " CMatrix, PMatrix, KMatrix, ACov_matrix, RAw_data" / " MEans, SKew, KUrtosis, LAbels, SElect, or MATrices" / " Where at least the uppercase letters must be given" / " Quite possibly, an earlier command screwed up")~"},
    {86, "F", R"~(" Imagine this: I'm reading a number and I see a  character,  so I think..." / " I know, it must be PI or E  BUT then to my surprise I see it  is neither")~"},
    {87, "F", R"~(" I'm sorry, I can't write a matrix that doesn't exist to a  file." / " Remember, this matrix has to be defined in this group")~"},
    {88, "F", R"~(" To output matrices to files, use QV with 1 letter after it (exceptions: %E, %M, %P, %V)" / " then an = sign.  No spaces or anything else allowed.")~"},
    {89, "F", R"~(" AAAAGH!  You can't assign parameters to the raw data vector")~"},
    {90, "F", R"~(" If you want to fit to the raw data vectors, you must put them in a vector" / " that has 1 row and the columns less than or equal to the number of input variables" / " before selection, if any.")~"},
    {91, "F", R"~(" No, I won't let you do this.  It would overwrite the first  raw data observation" / " Go and edit your data instead.")~"},
    {92, "F", R"~(" Uh-oh, attempt to take log of zero or negative value imminent.")~"},
    {93, "F", R"~(" In order to use Maximum Likelihood to raw data,  it is necessary to supply both" / "a model for the covariances, and one for the means")~"},
    {94, "F", R"~(" Sorry, the expected matrix is singular just now")~"},
    {95, "F", R"~(" Just WHAT is this keyword supposed to mean? " / " You should be using one of the following:" / " MEan_structure, THresholds, COvariances," / " SPecify, MAtrix, PArameter, FIx, FRee, EQual," / " VAlue, STart, BOundary, OPtions, ENd, OUtput" / " Where at least the uppercase letters must be given")~"},
    {96, "F", R"~(" You have tried to convert something that wasn't a vector into a matrix" / " Please try not to abuse \x0b2 functions in this way")~"},
    {97, "F", R"~(" At your starting values, evaluation of the log-likelihood  me try to take" / " the logarithm of something less than or equal to zero.  " / " Please revise the starting values.")~"},
    {98, "F", R"~(" Your boundary constraint refers to a parameter not yet specified")~"},
    {99, "F", R"~(" You have referred to a non-existent row of a matrix" / "It's silly mistakes like these that my job as a computer *SO* rewarding")~"},
    {100, "F", R"~(" You have referred to a non-existent column of a matrix")~"},
    {101, "F", R"~(" You can't use the keyword FU when reading diagonal weight matrices or means")~"},
    {102, "F", R"~(" SORRY I don't select DWLS with correlation matrices yet")~"},
    {103, "F", R"~(" Error - you seem to have a non-integer value for the type of  person" / " Please check: (1) you have the right pedigree size here" / "               (2) you have an integer type identifier for everyone" / "               (3) Nothing screwed up in an earlier pedigree")~"},
    {104, "F", R"~(" Please, you must tell me the covariance matrix structure in terms of id codes" / " Use the IC command to do this, sometime after MO and before End")~"},
    {105, "F", R"~(" There is a variable in this pedigree whose id has not been given" / " in the IC command" / " If no IC was given a variable who has an id greater than NI is present")~"},
    {106, "F", R"~(" Your model does not define the COVARIANCE between TWO people with this ID" / " Of course, by default it won't.  You need to use the IC command correctly")~"},
    {107, "F", R"~(" An element of a matrix that you have tried to sqrt()" / " is less than zero.  Please don't let this happen!" / " This version of Qv does not cater for complex numbers - most of the time")~"},
    {108, "F", R"~(" You tried to convert a vector of the wrong length to a symmetric matrix")~"},
    {109, "F", R"~(" I am only prepared to raise the elements of a matrix to the  power of a scalar." / " Please try to ensure the matrix to the right of a ^ is (1 x 1)")~"},
    {110, "F", R"~(" You tried to convert a vector of the wrong length to a FULL Square matrix")~"},
    {111, "F", R"~(" Eigenvalues of square matrices only, please")~"},
    {112, "F", R"~(" Eigenvectors of square matrices only, please")~"},
    {113, "F", R"~(" I'm afraid that if you want to fit to raw data you MUST supply models" / " for BOTH means and covariances.  You have forgotten a model for the means" / " You might forget your head if it wasn't attached with lots of sinews etc.")~"},
    {114, "F", R"~(" I'm afraid that if you want to fit to raw data you MUST supply models" / " for BOTH means and covariances.  You have forgotten a model for the covariances" / " This is the 783rd time you have made this mistake but you have " / " probably forgotten about the other times")~"},
    {115, "F", R"~(" If you are using MUltiple fits, it is impossible to change the matrix formulae" / "  - and you can't change boundaries either")~"},
    {116, "F", R"~(" If you wish to SPecify, PArameter, or MAtrix a matrix, you have to specify" / " the group number **on the same line** BEFORE the SP, PA or MA statement")~"},
    {117, "F", R"~(" Please try *not* to refer to non-existent groups!" / " I don't mind you having fantasies, but there are limits, you know.")~"},
    {118, "F", R"~(" When using the MU option you *MUST* use 3 numbers to specify a matrix element" / " Group #, row # and column #")~"},
    {119, "F", R"~(" I'm *so* embarassed.  I ran out of workspace.")~"},
    {120, "F", R"~(" To read labels for a matrix, you must use the syntax: LABEL <R or C> Name")~"},
    {121, "F", R"~(" Labels can't be given for a non-existent matrix" / " Or rather they can, but Qv will stop")~"},
    {122, "F", R"~(" Labels may not begin with a number because it could confuse me later on.")~"},
    {123, "F", R"~(" Labels have not been provided for the data, but you seem to be using them" / " to select variables.  Use numbers or 'Give me labels or give me ...' ")~"},
    {124, "F", R"~(" It would seem that you are trying to select a variable that you never supplied" / " I expect that, being human, you made a mistake in the LA or SE list")~"},
    {125, "F", R"~(" I can't select a variable that doesn't exist." / " Make sure that NI is correct or fix SE list")~"},
    {126, "F", R"~("Sorry, you can use covariance structures ONLY in" / "constraint or calculation groups; means not allowed")~"},
    {127, "F", R"~(" Incorrect element of a lower triangular matrix specified")~"},
    {128, "F", R"~(" Hey! You must have NI=2 to use contingency tables")~"},
    {129, "F", R"~(" I'm afraid that if you want to fit to contingency tables you MUST supply models" / " for BOTH thresholds and covariances.  You have forgotten a  model for the thresholds" / " Are these lapses of memory getting more frequent?" / " Can't remember??  Maybe you need a checkup...")~"},
    {130, "F", R"~(" I'm afraid that if you want to fit to contingency tables you  MUST supply models" / " for BOTH thresholds and covariances.  You have forgotten a model for the covariances" / " Are these lapses of memory getting more frequent?" / " Can't remember??  Maybe you need a checkup...")~"},
    {131, "F", R"~(" You must supply a matrix expression for the thresholds that will evaluate" / " to a matrix with 2 rows and with at least as many columns as one less than" / " the number of row categories or the number of colum categories,whichever is greater" / " i.e. max(nrowcat-1,ncolcat-1)")~"},
    {132, "F", R"~(" Sorry, but during optimization I have been asked to calculate a bivariate" / " integral with a correlation of 1 or more.  This is very unreasonable of you" / " Please fix your model so that this doesn't happen.  Use boundaries or something.")~"},
    {133, "F", R"~("Yes I will fit to n x n contingency tables BUT..." / "n must be greater than or equal to 2")~"},
    {134, "F", R"~(" If you want me to save or get an Qv binary file" / " then you MUST supply a filename on the same line")~"},
    {135, "F", R"~(" We must have misunderstood each other somehow." / " You can't get expected proportions %P from a " / " group that isn't using contingency tables")~"},
    {136, "F", R"~(" I think memory is screwed up because of a fault in Qv" / " Please tell the Qv maintainers about it:" / " e-mail qv-maintainers@example.org")~"},
    {137, "F", R"~(" Well well well.  You would like graphics.  If so" / " why don't you put an = after the DR command???")~"},
    {138, "non-fatal", R"~(" To fit to mean structures as well as covariances you should provide" / " *both* observed means and a model for them (as well you know!)" / " I'm going to use the covariances, but the mean -")~"},
    {139, "F", R"~(" Really I'm very very sorry about this.  It is not under my control." / one remark line / " However enough philosophising, the problem is that we have reached the end of" / " file too soon.  Since you are using * format, you should put one case per line. " / " That is to say, there should be NObs lines each with NI variables in a RA data file")~"},
    {140, "F", R"~(" Really I'm very very sorry about this.  It is not under my control." / one remark line / " However enough philosophy, the problem is that we have reached  the end of" / " file too soon.  Make sure that your format is OK" / " Also, remember there should be NObs * NI numbers in your RA data file")~"},
    {141, "F", R"~(" Very funny.  Hahaha.  You want me to standardize a non-square matrix?" / " Just how am I supposed to do that?")~"},
    {142, "F", R"~(" It is with great sadness that I have to tell you that I couldn't" / " standardize your matrix because the number I'm supposed to divide by is " / " too small.  Perhaps you could avoid this problem with boundary constraints.")~"},
    {143, "F", R"~(" You are in terrible danger.  Don't say multiple until the last group." / " I know I could have just remembered for you, but I'm lazy too!")~"},
    {144, "F", R"~(" Sorry, old chap.  You can't specify boundary constraints after OPtions")~"},
    {145, "F", R"~(" Cough, ahem... can you please give me a matrix that has 1 row  and 2 columns" / " for the power transformation??")~"},
    {146, "F", R"~(" For heaven's sake!  Can't you bound your constant so that it " / "is  *greater* than minus the minimum observation??!")~"},
    {147, "F", R"~(" YIKES!  There's something funny about the power function you request" / " Remember that after PO you should supply 2 numbers:" / "  The significance level (alpha) (0.0 < alpha < 1)" / "  The degrees of freedom of the test (df > 0)" / "  Sometimes the library chokes if alpha is close to 0 or 1")~"},
    {148, "F", R"~(" I can calculate confidence intervals in the range  0 to 100." / " Please try to stay within these bounds")~"},
    {149, "F", R"~(" Look here buster, the matrix you muln must have 3 more rows than it does columns")~"},
    {150, "F", R"~(" There is a problem with the multinormal" / " integral that you tried to compute." / " See if you can be kinder to me by using bounds")~"},
    {151, "F", R"~(" Covariance matrices must be computed from " / " sample sizes of at least 1" / " I suspect that you forgot to put the NObs= " / " parameter on the data line")~"},
    {152, "F", R"~(" The operation you attempted using ^ is undefined" / " in mathematics in this universe.  Try using e.g. " / " abs() if you can, or go to another universe!")~"},
    {153, "F", R"~(" Look here buster, the matrix you mnor must have 4 more rows than it does columns")~"},
    {154, "F", R"~(" Unknown matrix operator encountered!")~"},
    {155, "F", R"~(" Your observed covariance matrix is not " / " positive-definite.  Check that you are reading it" / " in the correct format - Full or Symmetric")~"},
    {156, "F", R"~(" Ooops.  Somehow I was expecting a matrix with " / " 4 more rows than columns for the momnor function" / " Remember, they should be organized this way:" / " Covariance matrix" / " Mean vector" / " Thresholds in terms of standardized units" / " Selection vector: 1=above, -1=below, 0=not selected" / " Quadrature parameter 0=default=16; max=64")~"},
    {157, "F", R"~(" Aha!  You have tried to use algebra to create a" / " matrix that already exists.  This is strictly " / " illegal in Qv.  Go directly to Jail." / " Do not pass go.  Do not collect $200" / " And make sure you haven't forgotten the End Algebra; statement")~"},
    {158, "F", R"~(" Hmmm you can't call a matrix this.  Not yet." / " Use single letters (A-Z) for now. ")~"},
    {159, "F", R"~(" After the BEGIN keyword I expected to see one of the" / " keywords ALGEBRA or MATRICES.  Are you dyslexic?  Or am I?")~"},
    {160, "F", R"~(" Well I was trying to find the above character," / " but even though I looked through the whole file" / " I could not find it.  Perhaps you forgot it?")~"},
    {161, "F", R"~(" You seem to have put two binary operators in a row, which is " / " bad syntax.  Might this be a typo?  Just possibly?")~"},
    {162, "F", R"~(" I figure that you are trying to redefine something in this  multi-group script" / " but you have not used a #define Group = n statement yet" / " so I don't know which group it is you wish to change")~"},
    {163, "F", R"~(" Oh no you don't.  You can't use a #define group statement" / " unless you are (or rather I am) in multiple fit mode")~"},
    {164, "F", R"~(" Sorry, I don't understand what you are trying to #define")~"},
    {165, "F", R"~(" While searching for a number, I encountered a string more than 32 characters long." / " At first, I thought it might be a global variable, but it is probably just your mistake.")~"},
    {166, "F", R"~(" *So* sorry!  You can't use !@ in the title.  It might confuse my front end.")~"},
    {167, "F", R"~(" I was trying to read a number or a #define'd parameter,  and although I found" / "  a delimiter, I got to the end of the line before I found  the number")~"},
    {168, "F", R"~(" I know this is rather silly of me, but I really need to know both NI= and NO=" / " in order to read the data sensibly.  Please look at the DA line")~"},
    {169, "F", R"~(" Error: file not found:" / the 80-character file name (`FILNAM`, list-directed) / " Check spelling and existence of file" / " Remember that UNIX is case sensitive" / " Filenames have a maximum of 80 characters including directory" (the last four as list-directed records))~"},
    {170, "F", R"~(" Once I saw the begin keyword, I thought, 'Aha I bet this user is going to" / " say algebra or matrices next.'  Well I lost my bet." / " I don't know what you want to begin.")~"},
    {171, "F", R"~(" You seem to be trying to end matrices with something other than" / " 'end matrices;'.  It's not that difficult, is it?")~"},
    {172, "F", R"~(" This is a generic error message of no use to you whatsoever." / " Lots of software has error messages like this, so I thought Qv should too." / a line asking the user to contact the maintainer)~"},
    {173, "F", R"~(" I'm terribly sorry about this old chap.  You can't use QQ" / " as a missing data flag.  It's Just one of those things.   ")~"},
    {174, "F", R"~(" Oh boy.  There I was trying to read stuff in rectangular  format for you." / " And then I came across a blank record.  I suspect a mistake." / an empty line)~"},
    {175, "F", R"~(a line reporting a read error of the run-time input system and asking to check the data file / " Suspicious Characters.")~"},
    {176, "F", R"~(" An error has occurred while reading a rectangular file" / " Make sure that you *don't* have a FORMAT at the beginning" / " and note, I can't read numbers that begin with D, Q or E.")~"},
    {177, "F", R"~(" Oooooh!  Weird one.  Your data file seems to be empty.")~"},
    {178, "F", R"~(" ")~"},
    {179, "non-fatal", R"~(" Sorry, I'm just not ready to save at this point.")~"},
    {180, "F", R"~(" This might seem a bit picky of me, but if you are going to simulate data" / " I'd like to know HOW MANY cases to simulate.  Please give NI=n" / " on the Simulate line, where n is a positive integer.  Thank you.")~"},
    {181, "F", R"~(" Now look here.  To simulate data you need to have a matrix formula for the" / " Covariances which is *Square*, i.e., rows = columns above.")~"},
    {182, "F", R"~(" Well there I was, all ready to equate all the matrices in this" / " group to those of a previous group, and then you didn't put " / " *which* group on the same line.  Try, e.g., Matrices = Group 1" / " Note that you *must* have a space after the word group")~"},
    {183, "F", R"~(" Unbalanced parentheses in your formula.  I'm not big into" / " Yin & Yan but this is one area that I'd like more balance.")~"},
    {184, "F", R"~(" I can't give you the sort order of this *column vector*" / " because it has more than one column!!")~"},
    {185, "F", R"~(" Partition requires syntax part(A,B) where B has 4 rows " / " and one column.  Somehow you didn't do this right.")~"},
    {186, "F", R"~(" No no no.  The second matrix in the list part(A,B) must" / " have 4 rows and 1 column.")~"},
    {187, "F", R"~(" I'm afraid that you can't use & between matrices that" / " are not conformable.  In this case, the number of columns" / " in the first matrix must equal the number of rows in the" / " second matrix, which must be square (rows of b=cols of b).")~"},
    {188, "F", R"~(" Look, how am I supposed to know what these elements outside" / " the dimensions of the matrix are??")~"},
    {189, "F", R"~(" The partition function is tricky, I know.  Make sure that " / " the coordinate (2nd) matrix has been initialized FIRST" / " See the example partit.qv for details on how to do this")~"},
    {190, "F", R"~(" OK wise guy that's far enough!  The group you referenced with" / " %O doesn't have an observed covariance matrix!")~"},
    {191, "F", R"~(" The matrices you wish to divide with % are not conformable." / " The number of rows in matrix 1 must be the same as the number" / " of rows in matrix 2, *and* the number of " / " columns in matrix 1 must be the same as the number of columns" / " in matrix 2.")~"},
    {192, "F", R"~(" I believe you read in the inverse of a weight matrix, sir?" / " In that case you can't use select variables, because it" / " defeats the point of saving time by pre-inverting.")~"},
    {193, "F", R"~(" To use the computed matrix type, you have to put = M 1 on the " / " same line, where M is a matrix and 1 is an earlier group." / " I'm not psychic. How am I supposed to know which computed" / " matrix you want it to equal?")~"},
    {194, "F", R"~(" Hang on a minute!  You can *only* use the computed matrix type" / " to refer to matrices generated in a Begin Algebra section.")~"},
    {195, "F", R"~(" Yoo-hoo! You're supposed to a letter here...")~"},
    {196, "F", R"~(" Gadzooks! You didn't supply a compute statement in that group." / " Therefore, I can't make this matrix equal to the %E of it.")~"},
    {197, "F", R"~(" Huh? I don't understand your optional command line parameters." / " Syntax should be e.g.,: qv -f -h -k 100 myfile.qv myfile.qvo" / " where f denotes frontend, h requests html, and k is workspace" / " Note: -f implies reading from keyboard and writing to screen")~"},
    {198, "F", R"~(" You must put the filename on the same line when using !@get," / " !@put or !@exist")~"},
    {199, "F", R"~(" Please put the filename on the same line when using #include")~"},
    {200, "F", R"~(" File exists; use !@PUT! to overwrite it")~"},
    {201, "F", R"~(" Binary file format has changed since version 1.34 - SORRY!!")~"},
    {202, "F", R"~(" To use Select IF, you *must* supply labels first")~"},
    {203, "F", R"~(" To use Select IF, you *must* have read data in Rec or VL format")~"},
    {204, "F", R"~(" I can't find the Select If variable in the variable label list' Please check spelling carefully")~"},
    {205, "F", R"~(" I should be seeing one of the operators = > < or ^= ^< ^> here but I'm not")~"},
    {206, "F", R"~(" Sorry, I can only calculate confidence intervals in the 1% to 99.99% range.")~"},
    {207, "F", R"~(" You should be supplying a list of matrix elements like A 1 2 3 but all I can see is a number")~"},
    {208, "F", R"~(" Sorry, I won't accept the keyword all for a list of confidence' intervals.")~"},
    {209, "F", R"~(" Somehow, in getting the confidence interval list we overstepped' our bounds." followed, on the same line, by a request to e-mail the maintainer)~"},
    {210, "F", R"~(" The data/calculation line in the first group MUST contain" / " the number of groups NGroups= and it must be greater than 0")~"},
    {211, "F", R"~(" Momnor couldn't standardize a threshold because it was zero" / " or less.  Make sure you initialize the matrix before using it in a formula")~"},
    {212, "F", R"~(" Too many equality links requested in this group - max. 26")~"},
    {213, "F", R"~(" You have #included a file which had an #include in it, which" / " had an include in it, which had an include in it..." / " and so on --- over 100 times!" / " I presume that you have accidentally done something recursive")~"},
    {214, "F", R"~(" Tut tut!  You can't put values into a matrix that is formula" / " Try changing the matrices used to compute this matrix, perhaps?")~"},
    {215, "F", R"~(" I'm afraid this definition variable label conflicts with an" / " existing #DEFINE'd variable.  Please resolve this conflict peacefully")~"},
    {216, "F", R"~(" Syntax error:  Should be START OBSSDS M where M is the name" / " of the matrix that you want started at the observed SD's ")~"},
    {217, "F", R"~(" I can only set the starting values to the observed SD's if" / " this is a data group that has CM, KM, PM or VL/Rect data ")~"},
    {218, "non-fatal", R"~(" I can only assign variances as starting values of a diagonal" / " matrix that has the same size as NI, after selection, if any. ")~"},
    {219, "F", R"~(" Syntax error:  Should be START OBSMEAN M where M is the name" / " of the matrix that you want started at the observed means ")~"},
    {220, "F", R"~(" Determinant of covariance matrix is zero, or data matrix not" / " supplied with a CM statement.  Try not to lose things :)")~"},
    {221, "non-fatal", R"~(" I can only assign means as starting values of a full" / " matrix that has the same size as NI, after selection, if any. ")~"},
    {222, "F", R"~(" Definition variables can be used only when VL or Rectangular" / " data have been supplied.  Back to the drawing board! ")~"},
    {223, "F", R"~(" Error trying to open a file.  Check that directory exists and" / " that file is not locked by another program, and that filename" / " is legal for DOS or Unix.  Long filenames not supported under" / a fourth line naming Win95)~"},
    {224, "F", R"~(" Chi-squared probabilities only calculated for matrices with" / " 2 colums.  Sorry about that, chaps.")~"},
    {225, "F", R"~(" Aha! The Pelbe98 error.  You can't request Option User unless" / " you are in a *Data* group.  Sorry about that, chaps.")~"},
    {226, "F", R"~(" You have requested too much memory for the hardware that you" / " have.  Try either a lower -k or backend memory job option" / " or upgrade your machine to have more memory.")~"},
    {227, "F", R"~(" You must have #Ngroups before #Linkage, sorry")~"},
    {228, "F", R"~(" After a LINKAGE command the only legal option is NTypes." / " Your illegal option has been arrested and so has the program.")~"},
    {229, "F", R"~(" A problem has shown itself within the Begin Link... section" / " Such offensive behavior should not happen.  Check for earlier errors")~"},
    {230, "F", R"~(" I was expecting an End VL statement here.  Where is it?" / " Have you hidden it?  You naughty scientist!")~"},
    {231, "F", R"~(" There was an error trying to read a number in a vl file" / " Make sure that there are no strange characters in there." / " You must have spaces between numbers; be careful with - signs" / " as something like 123.45-68.910 would cause this error")~"},
    {232, "F", R"~(" The variance of a variable was zero which made it rather" / " difficult to standardize the threshold" / " Please adjust starting values or boundaries to ensure that" / " this zero variance happens zero more times again")~"},
};

// Codes whose documented message contains lines described rather than quoted.
const std::set<int> kDescribed = {77, 96, 139, 140, 169, 172, 174, 175, 209, 223};

std::vector<std::string> split_cell(std::string cell) {
  std::vector<std::string> recs;
  // Strip the outer quotes, then split at the closing-quote / opening-quote pairs.
  cell = cell.substr(1, cell.size() - 2);
  const std::string sep = "\" / \"";
  std::size_t pos = 0;
  for (;;) {
    const std::size_t k = cell.find(sep, pos);
    if (k == std::string::npos) {
      recs.push_back(cell.substr(pos));
      break;
    }
    recs.push_back(cell.substr(pos, k - pos));
    pos = k + sep.size();
  }
  return recs;
}

TEST(ErrmsgTable, EveryQuotedMessageIsExact) {
  ASSERT_EQ(std::size(kDoc), 232u);
  for (const Doc& d : kDoc) {
    SCOPED_TRACE("code " + std::to_string(d.code));
    const std::string kind = d.kind;
    EXPECT_EQ(ERRNFT(d.code), kind == "non-fatal");
    EXPECT_EQ(ERRGRP(d.code), kind == "F");
    if (kDescribed.count(d.code) != 0) continue;
    EXPECT_EQ(ERRTXT(d.code), split_cell(d.cell));
  }
}

TEST(ErrmsgTable, DescribedLinesAreComposed) {
  const std::vector<std::string> m77 = ERRTXT(77);
  ASSERT_EQ(m77.size(), 5u);
  EXPECT_EQ(m77[1], " You didn't put det, \\tr, exp, ln, sqrt,");
  EXPECT_EQ(m77[2], " \\v2d, d2v, m2v, \\v2s, \\v2f, eval, evec, ");
  EXPECT_EQ(m77[3], " ivec, ival, stnd, \\vech, \\vec, sin cos \\tan sinh cosh");
  EXPECT_EQ(m77[4], " \\tanh muln - or any functions that I recognize, so I am confused.");
  EXPECT_EQ(ERRTXT(96)[1], " Please try not to abuse \\v2 functions in this way");
  for (int code : kDescribed)
    for (const std::string& r : ERRTXT(code))
      for (char ch : r) EXPECT_GE(static_cast<unsigned char>(ch), 32) << "code " << code;
  EXPECT_EQ(ERRTXT(139).size(), 5u);
  EXPECT_EQ(ERRTXT(139)[2], " However enough philosophising, the problem is that we have reached the end of");
  EXPECT_EQ(ERRTXT(140)[4], " Also, remember there should be NObs * NI numbers in your RA data file");
  EXPECT_EQ(ERRTXT(172).size(), 3u);
  EXPECT_EQ(ERRTXT(174)[2], "");
  EXPECT_EQ(ERRTXT(175)[1], " Suspicious Characters.");
  EXPECT_EQ(ERRTXT(209).size(), 1u);
  EXPECT_EQ(ERRTXT(209)[0].rfind(" Somehow, in getting the confidence interval list we overstepped' our bounds.", 0), 0u);
  EXPECT_EQ(ERRTXT(223).size(), 4u);
  EXPECT_NE(ERRTXT(223)[3].find("Win95"), std::string::npos);
}

TEST(ErrmsgTable, UnknownCodes) {
  for (int code : {0, 233, -5}) {
    EXPECT_EQ(ERRTXT(code),
              std::vector<std::string>{" An unidentified error has occurred.  You must be very clever!"});
    EXPECT_FALSE(ERRNFT(code));
    EXPECT_FALSE(ERRGRP(code));
  }
}

// Runs f in a child process and returns its exit status and standard output.
template <class F>
std::pair<int, std::string> run_child(F f) {
  const std::string path = testing_support::temp_path("child.out");
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    std::FILE* out = std::freopen(path.c_str(), "w", stdout);
    (void)out;
    f();
    std::fflush(stdout);
    _exit(77);  // f returned
  }
  int status = 0;
  waitpid(pid, &status, 0);
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ss.str()};
}

class ErrmsgTest : public testing_support::ScriptTest {
 protected:
  // A current line with the cursor at col.
  void set_line(const std::string& text, int col) {
    LINBUF.LINE = runtime::fpad(text, LINMAX);
    CURSOR.LLEN = LENTRM(text);
    CURSOR.ICOL = col;
  }
};

TEST_F(ErrmsgTest, FatalPlainReport) {
  MAINPR.LINENO = 12;
  MAINPR.IGRP = 2;
  FESTAT.MACHOUT = false;
  set_line("MATRIX A 1 2 3 4", 14);
  const auto [status, out] = run_child([] { ERRMSG(14); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out,
            "\n"
            "  We have a problem whose error code is   14\n"
            "  and which I ran across at line number   12\n"
            " of your input script\n"
            " MATRIX A 1 2 3 4\n"
            "             ~~~ \n"
            "  More than 3 dimensions specified\n"
            "  Problem occurred in group #   2\n");
}

TEST_F(ErrmsgTest, MarkerStaysInsideTheLine) {
  FESTAT.MACHOUT = false;
  struct Case {
    int col;
    int llen;
    const char* marker;
  };
  const Case cases[] = {{1, 5, "~~   "}, {0, 5, "~    "}, {5, 5, "   ~~"}, {7, 5, "     "}, {2, 0, ""}};
  for (const Case& c : cases) {
    set_line("ABCDE", c.col);
    CURSOR.LLEN = c.llen;
    const auto [status, out] = run_child([] { ERRMSG(83); });
    std::istringstream lines(out);
    std::string l;
    for (int i = 0; i < 6; ++i) std::getline(lines, l);
    EXPECT_EQ(l, std::string(" ") + c.marker) << "col " << c.col;
    // 83 carries no group line.
    EXPECT_EQ(out.find("Problem occurred"), std::string::npos);
  }
}

TEST_F(ErrmsgTest, UnknownCodeStopsWithoutGroupLine) {
  FESTAT.MACHOUT = false;
  set_line("X", 1);
  for (int code : {0, 233}) {
    const auto [status, out] = run_child([code] { ERRMSG(code); });
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("\n  An unidentified error has occurred.  You must be very clever!\n"), std::string::npos);
    EXPECT_EQ(out.find("Problem occurred"), std::string::npos);
  }
}

TEST_F(ErrmsgTest, PlainModeEndsWithMachineLineWhenWanted) {
  set_line("X", 1);
  const auto [status, out] = run_child([] { ERRMSG(7); });
  EXPECT_EQ(status, 1);
  const std::string tail = "  Problem occurred in group #   0\n!@machine;\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(ErrmsgTest, NonFatalInFrontEndModeReturnsWithRecord) {
  FESTAT.FEACTV = true;
  FESTAT.MACHOUT = true;
  MAINPR.LINENO = 3;
  set_line("DATA NG=1 XX=3", 11);
  const std::string out = capture([] { report_ignored_error(22); });
  EXPECT_EQ(out,
            "\n"
            "  We have a problem whose error code is   22\n"
            "  and which I ran across at line number    3\n"
            " of your input script\n"
            " DATA NG=1 XX=3\n"
            "          ~~~  \n"
            "  I'm sorry, I don't understand this part of DATA line, so I'm ignoring it\n"
            " I'm just going to ignore it, OK?\n"
            "!@machine;\n"
            " !@error\n"
            " 3\n"
            " 11\n"
            " 22\n"
            "\n"
            " 0\n"
            " \"\"\n"
            "!@human;\n");
}

TEST_F(ErrmsgTest, ErrorInIncludeFileNamesIt) {
  FESTAT.FEACTV = true;
  INCSTK.INCDEP = 3;
  INCSTK.INCNAM = runtime::fpad("sub/model.qv", 80);
  MAINPR.LINENO = 4;
  set_line("Y", 1);
  const auto [status, out] = run_child([] { ERRMSG(13); });
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find(" of your include file: \n sub/model.qv"), std::string::npos) << out;
  EXPECT_NE(out.find(" !@error\n 4\n 1\n 13\n 1\n 1\n \"sub/model.qv\"\n!@human;\n!@machine;\n"),
            std::string::npos)
      << out;
}

TEST_F(ErrmsgTest, FrontEndWithoutMachineOutputStopsAfterReport) {
  FESTAT.FEACTV = true;
  FESTAT.MACHOUT = false;
  set_line("Y", 1);
  const auto [status, out] = run_child([] { ERRMSG(13); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.find("!@"), std::string::npos);
}

TEST_F(ErrmsgTest, HtmlFatalClosesTheDocument) {
  MAINPR.HTMLON = true;
  MAINPR.JOBNO = 2;
  MAINPR.IGRP = 1;
  FESTAT.MACHOUT = false;
  jobbase::HTMLST.PRESTA = true;
  set_line("BAD", 1);
  const auto [status, out] = run_child([] { ERRMSG(5); });
  EXPECT_EQ(status, 1);
  const char* pieces[] = {
      " </PRE>\n <LI> <A NAME=ErrorXXXXXXXXX2> Error</A>\n <H5>\n",
      "  We have a problem whose error code is    5\n",
      " <P></H5>\n <H5>\n BAD\n ~~ \n  Not a legal matrix name.  Use A-Z, one letter only\n",
      "  Problem occurred in group #   1\n <P></H5>\n <A NAME=Index><H2> Index</H2></A><UL>\n",
      " <H4> Job number 1</H4></A>\n",  // the index entry of job 1
      " <BR> <HR> \n <H4> Job number 2</H4></A>\n <UL> \n",
      " <LI> <A HREF=\"#JobXXXXXXXXX2\"> Input Stream</A>\n",
      " <LI> <A HREF=\"#ErrorXXXXXXXXX2\"> Error Message</A>\n </UL>\n",
      " <H2> <A NAME=JobXXXXXXXXX3> End of output\n <A NAME=FitXXXXXXXXX3> </H2></A>\n",
      "<HR></body></HTML>",
  };
  std::size_t pos = 0;
  for (const char* p : pieces) {
    const std::size_t k = out.find(p, pos);
    EXPECT_NE(k, std::string::npos) << "missing in order: " << p << "\n" << out;
    if (k != std::string::npos) pos = k;
  }
  // The job-2 header is not repeated in the index: only job 1 has an index entry.
  EXPECT_EQ(out.find("Job number 3"), std::string::npos);
}

TEST_F(ErrmsgTest, HtmlWarningLeavesThePreBlockAsFound) {
  MAINPR.HTMLON = true;
  MAINPR.JOBNO = 1;
  jobbase::HTMLST.PRESTA = true;
  set_line("DATA NG=2", 1);
  const std::string out = capture([] { report_ignored_error(55); });
  EXPECT_TRUE(jobbase::HTMLST.PRESTA);
  EXPECT_NE(out.find("  Please try not to change your mind about the number of groups.\n"
                     " I'm just going to ignore it, OK?\n <P></H5>\n <PRE>\n"),
            std::string::npos)
      << out;
  // Every <H5> opened is closed again.
  std::size_t opened = 0, closed = 0;
  for (std::size_t k = out.find("<H5>"); k != std::string::npos; k = out.find("<H5>", k + 1)) ++opened;
  for (std::size_t k = out.find("</H5>"); k != std::string::npos; k = out.find("</H5>", k + 1)) ++closed;
  EXPECT_EQ(opened, closed);
}

TEST_F(ErrmsgTest, EverySixNonFatalCodeReturns) {
  set_line("X", 1);
  for (int code : {22, 55, 138, 179, 218, 221}) {
    const std::string out = capture([code] { report_ignored_error(code); });
    EXPECT_NE(out.find(" I'm just going to ignore it, OK?\n"), std::string::npos) << code;
    EXPECT_EQ(out.find("Problem occurred"), std::string::npos) << code;
  }
}

TEST_F(ErrmsgTest, FatalErrorUnderAStopSeamUnwindsWithStatusOne) {
  FESTAT.MACHOUT = false;
  set_line("X", 1);
  const runtime::StopSeam seam;
  int status = -1;
  const std::string out = capture([&status] {
    try {
      ERRMSG(13);
    } catch (const runtime::RunStopped& s) {
      status = s.status;
    }
  });
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("  Error - no matrix specified\n  Problem occurred in group #"), std::string::npos) << out;
}

// A code sent to the wrong entry is the caller's mistake: the checked builds
// abort at once; the others end the run with the fatal report (a warning code
// has no group line).
TEST_F(ErrmsgTest, CodeSentToTheWrongEntryStopsTheRun) {
  FESTAT.MACHOUT = false;
  set_line("X", 1);
  struct Case {
    int code;
    bool warning_entry;
    const char* record;
  };
  const Case cases[] = {
      {13, true, "  Error - no matrix specified\n  Problem occurred in group #   0\n"},
      {22, false, "  I'm sorry, I don't understand this part of DATA line, so I'm ignoring it\n"},
      {138, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    const auto [status, out] = c.warning_entry ? run_child([&c] { report_ignored_error(c.code); })
                                               : run_child([&c] { ERRMSG(c.code); });
#ifdef QV_CHECK_BOUNDS
    EXPECT_EQ(status, -1);  // aborted
    EXPECT_EQ(out.find("We have a problem"), std::string::npos);
#else
    EXPECT_EQ(status, 1);
    if (c.record != nullptr) {
      EXPECT_NE(out.find(c.record), std::string::npos) << out;
    }
    EXPECT_EQ(out.find("ignore it, OK?"), std::string::npos);
    if (!c.warning_entry) {
      EXPECT_EQ(out.find("Problem occurred"), std::string::npos);
    }
#endif
  }
}

}  // namespace
}  // namespace qv::jobbase
