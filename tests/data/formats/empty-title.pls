[playlist]
File1=/home/user/Music/01 Intro.mp3
Title1=
Length1=185
File2=/home/user/Music/02 Outro.mp3
Title2=   
Length2=97
NumberOfEntries=2
Version=2
