[playlist]
File1=/home/user/Music/01.mp3
Title1=Кино
Length1=245
NumberOfEntries=1
Version=2
