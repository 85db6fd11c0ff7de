// Inside the formula engine: the entry points of the spreadsheet functions,
// by family, for the registry in Functions.cpp to list. Each family file
// (FnMath, FnStat, FnLookup, FnText, FnDate) defines its own. A template
// stands for a few functions of one body; its file instantiates every
// variant the registry names. An entry raises nothing of its own: a
// formula's errors are its results (#VALUE!, #NUM!, ...). Not for use
// outside src/calc.
#ifndef KV_CALC_FUNCTIONENTRIES_H
#define KV_CALC_FUNCTIONENTRIES_H

#include "calc/CalcCode.h"

namespace kv::calc::fn {

// Math (FnMath.cpp).
FN(Sum);
FN(Product);
FN(SumSq);
template <int Mode>  // 0 ROUND, 1 ROUNDUP, -1 ROUNDDOWN and TRUNC
FN(RoundFn);
FN(Int);
FN(Mod);
FN(Quotient);
FN(Abs);
FN(Sqrt);
FN(Exp);
FN(Ln);
FN(Log10);
FN(Sign);
FN(Even);
FN(Odd);
FN(Fact);
FN(Log);
FN(Power);
FN(Pi);
FN(Ceiling);
FN(Floor);
template <bool IsCeiling>  // CEILING.MATH, FLOOR.MATH
FN(MathRound);
FN(MRound);
FN(Rand);
FN(RandBetween);
FN(SumProduct);

// Logic and information (FnMath.cpp).
FN(If);
FN(Ifs);
template <bool OnlyNa>  // IFERROR, IFNA
FN(IfError);
template <int Kind>  // 0 AND, 1 OR, 2 XOR
FN(Logical);
FN(Not);
FN(True);
FN(False);
FN(Switch);
FN(Choose);
template <int Kind>  // ISBLANK, ISNUMBER, ISTEXT, ISERROR, ISERR, ISNA, ISLOGICAL, ISNONTEXT
FN(Is);
template <int Parity>  // 0 ISEVEN, 1 ISODD
FN(IsParity);
FN(Na);
FN(ErrorType);

// Statistics and conditional aggregates (FnStat.cpp).
FN(Average);
FN(AverageA);
FN(Count);
FN(CountA);
FN(CountBlank);
template <bool IsMax>
FN(MaxMin);
FN(Median);
FN(Mode);
template <bool Sample, bool Root>  // VAR and STDEV, of a sample or a population
FN(Variance);
template <bool Large>
FN(KthValue);
template <bool Avg>  // RANK.EQ, RANK.AVG
FN(Rank);
template <bool Quartile>
FN(Percentile);
FN(CountIf);
FN(CountIfs);
template <int Kind>  // 0 SUMIF, 1 AVERAGEIF
FN(IfOne);
template <int Kind>  // 0 SUMIFS, 1 AVERAGEIFS, 2 MINIFS, 3 MAXIFS
FN(IfMany);

// Lookup and reference (FnLookup.cpp).
template <bool Vertical>  // VLOOKUP, HLOOKUP
FN(VLookup);
FN(Match);
FN(XMatch);
FN(XLookup);
FN(Lookup);
FN(Index);
template <bool IsRow>
FN(RowCol);
template <bool IsRows>
FN(RowsCols);
FN(Offset);
FN(Indirect);

// Text (FnText.cpp).
FN(Concatenate);
FN(Concat);
FN(TextJoin);
template <int Kind>  // 0 LEFT, 1 RIGHT
FN(LeftRight);
FN(Mid);
FN(Len);
template <bool Search>  // FIND, SEARCH
FN(Find);
FN(Substitute);
FN(Replace);
template <int Kind>  // 0 UPPER, 1 LOWER, 2 PROPER, 3 TRIM
FN(Case);
FN(Value);
FN(Char);
FN(Code);
FN(Rept);
FN(Exact);
FN(T);
FN(NFn);
FN(Text);
FN(Fixed);
FN(Dollar);

// Date and time (FnDate.cpp).
FN(Date);
FN(Time);
template <int Part>  // 0 year, 1 month, 2 day
FN(DatePart);
template <int Part>  // 0 hour, 1 minute, 2 second
FN(TimePart);
FN(Weekday);
FN(WeekNum);
FN(IsoWeekNum);
FN(Today);
FN(Now);
template <bool EndOfMonth>  // EDATE, EOMONTH
FN(EDate);
FN(DateDif);
FN(Days);
FN(NetworkDays);
FN(Workday);
FN(DateValue);
FN(TimeValue);

// Finance (FnDate.cpp).
FN(Pmt);
FN(Pv);
FN(Fv);
FN(Nper);
FN(Npv);
FN(Irr);

}  // namespace kv::calc::fn

#endif
