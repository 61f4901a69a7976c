[playlist]
File1=#EXTINF:5,Phantom
Title1=Radio
Length1=-1
File2=#EXTINF:99999999999,x
NumberOfEntries=2
Version=2
