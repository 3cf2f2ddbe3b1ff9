#pragma once

#include <QByteArray>

// What the simulated indicator sends for its factory setup with one custom output, between
// STX and EOT.
inline const QByteArray kUploadOne =
    "[CFG],1,2,1,1,0,0,0,0,\"Barrels\",1.0,1.0,0,1,3,3,1,2,02,3,1,1,2,1,1,3,1,2,2,\r\n"
    "[CAL],5000,1,4,4,1.0,1,2,\r\n"
    "[ANY],1,1,1,1,0,\r\n"
    "[420],0,5000,1,1,0,0,\r\n"
    "[TKT],t,10,8,d,12,8,G,14,8,T,16,8,N,18,8,\r\n"
    "[PRN],1,1,12,1,\r\n"
    "[CST],<A><B><C><G><T>,\r\n"
    "[CFM],0,0,0,6,0,0,0,0,1,0,0,4,0D,W<D>,2,02,3,0D,0,20,lb,kg,M,O,GR,TA,NT, ,I,\r\n"
    "[TAD],05,20,04,12,10,26,\r\n";
