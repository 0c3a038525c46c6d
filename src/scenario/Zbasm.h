#pragma once
// The script assembler: turns the text form of one script file into its "*.Wps" bytes.
//
// Text form. One statement a line; "#" or ";" outside a quoted text starts a comment. Words
// are separated by blanks; numbers are decimal or 0x hexadecimal, and may be negative.
//
//   .codepage CP932|CP936  the code page of the texts that follow (default CP932; the message
//                          window's font reads GB2312 text, so message scripts use CP936)
//   .scenario N            scenario id (default 0)
//   .stamp N               the scenario's stamp, a 64-bit number (default 0)
//   .function NAME         starts a function; its code follows up to the next .function or
//                          .trigger. NAME is also a label of its first instruction.
//   .trigger START group=G priority=P [data=...]
//       ...condition...
//   .end                   a trigger entry: START is a label of the function block (the scene's
//                          first instruction); the lines up to .end are its condition, whose
//                          labels are its own. data= takes a quoted text or 0x hex bytes.
//   NAME:                  a label (alone on a line or before an instruction)
//   MNEMONIC OPERANDS      an instruction (below)
//
// Instructions, one mnemonic for every opcode:
//   core        nop push N pushstr "T" pop jmp L jz L jnz L call L call_l "S::F" dup swap ret
//               end not plus neg mul div mod add sub lt le gt ge eq ne and or
//   game data   setflag getflag setsysflag getsysflag setvar incvar decvar getvar setreg
//               getreg setlocal getlocal
//   messages    mes S M "T" (message M of scenario S) mesend select "T" voice mesvoice S M "T"
//   scene       playbgm stopbgm playbgmonce stopbgm2 playse stopse playse2 stopse2 bg bgwhite
//               bgblack setchar removechar changescene changescene1 bgchange whiteout blackout
//               charin charout shake wait getphase getepisode getscene setprogress getmodea
//               setmodea random setmodeb clearmodeb openingmovie endingmovie totitle
//               raisecursor lowercursor chaptermovie minigame scriptvalue batonresult
//   op N        an instruction of opcode N without operands
// A jump or call target L is a label or a number (the distance from the instruction's first
// byte). Texts are UTF-8, written in the current code page with a terminating zero; the escapes \n,
// \t, \\, \" and \xNN (one raw byte, not converted) are understood.
//
// Raw and deliberately broken fields, for tests:
//   .u8 N...  .u16 N...  .u32 N...     little-endian values into the current code
//   .fill COUNT [BYTE]                 COUNT bytes into the current code
//   .magic "ABCD"  .reserved N N       header bytes 0-3, 4-7 and 36-39
//   .trigoffset N .trigsize N .funcoffset N .funcsize N    header fields as written
//   .filesize N                        the file cut or zero-padded to N bytes
//   .function NAME entrylen=N namelen=N        the entry's fields; namelen also sizes the name
//                                              field (the name cut or zero-padded to it)
//   .trigger ... code=N entrylen=N datalen=N condlen=N   the entry's fields as written
//
// Layout: the header, the trigger block at 40, the function block right after it.

#include <cstdint>
#include <string>
#include <vector>

// Assembles source into the bytes of a script file; false with "line N: reason" in error.
bool AssembleScript(const std::string& source, std::vector<uint8_t>& out, std::string& error);
